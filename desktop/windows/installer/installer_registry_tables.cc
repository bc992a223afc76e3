#include "desktop/windows/installer/installer_registry_tables.h"

#include "base/win/windows_version.h"

namespace installer {

namespace {

constexpr int32_t kXp = base::win::VERSION_XP;
constexpr int32_t kVista = base::win::VERSION_VISTA;
constexpr RegistryRootFilter kAnyRoot = kAnyRegistryRoot;
constexpr RegistryRootFilter kHklm = kLocalMachineRegistryRoot;
constexpr RegistryRootFilter kHkcu = kCurrentUserRegistryRoot;
constexpr uint32_t kView32 = KEY_WOW64_32KEY;

// Key and data prefixes shared by many rows.
#define TAVRO_CLASS L"Software\\Classes\\{Product}{Stream}"
#define TAVRO_CLIENT L"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
#define TAVRO_LAUNCHER L"{InstallFolder}\\Launcher.exe"
#define TAVRO_FILE_ASSOCIATION(extension)                                               \
  {TAVRO_CLIENT L"\\Capabilities\\FileAssociations", extension, REG_SZ, L"{Product}{Stream}", \
   kVista, kAnyRoot, 0, 1, 0}
#define TAVRO_OPEN_WITH(extension, depth)                                                 \
  {L"Software\\Classes\\" extension L"\\OpenWithProgIDs", L"{Product}{Stream}", REG_NONE, \
   nullptr, kXp, kAnyRoot, 0, depth, 0}
#define TAVRO_URL_ASSOCIATION(protocol)                                                \
  {TAVRO_CLIENT L"\\Capabilities\\UrlAssociations", protocol, REG_SZ, L"{Product}{Stream}", \
   kVista, kAnyRoot, 0, 1, 0}

// Constant, like the rows below: nothing of the tables is made at load time.
constexpr RegistryTemplateRow kMainRegistryTable[] = {
    // The browser's class: a protocol of its own, and what opens its documents.
    {TAVRO_CLASS, L"FriendlyTypeName", REG_SZ, L"{Product} Web Document", kXp, kAnyRoot, 0, 1, 0},
    {TAVRO_CLASS, L"URL Protocol", REG_SZ, L"", kXp, kAnyRoot, 0, 1, 0},
    {TAVRO_CLASS L"\\DefaultIcon", nullptr, REG_SZ, TAVRO_LAUNCHER L",0", kXp, kAnyRoot, 0, 1, 0},
    {TAVRO_CLASS L"\\shell\\open\\command", nullptr, REG_SZ,
     L"\"" TAVRO_LAUNCHER L"\" -noautoupdate -- \"%1\"", kXp, kAnyRoot, 0, 2, 0},
    // DDE: the machine's class gets none, the user's class an empty conversation.
    {TAVRO_CLASS L"\\shell\\open\\ddeexec", nullptr, kRegistryRowDeleteKey, nullptr, kXp, kHklm, 0,
     0, 0},
    {TAVRO_CLASS L"\\shell\\open\\ddeexec", nullptr, REG_SZ, L"", kXp, kHkcu, 0, 2, 0},
    {TAVRO_CLASS L"\\shell\\open\\ddeexec\\Application", nullptr, REG_SZ, L"", kXp, kHkcu, 0, 1, 0},
    {TAVRO_CLASS L"\\shell\\open\\ddeexec\\Topic", nullptr, REG_SZ, L"", kXp, kHkcu, 0, 1, 0},
    // Extensions, and "Open with" entries for web documents.
    {L"Software\\Classes\\.oex", nullptr, REG_SZ, L"{Product}{Stream}.Extension", kXp, kAnyRoot, 0,
     1, 0},
    TAVRO_OPEN_WITH(L".oex", 1),
    TAVRO_OPEN_WITH(L".opdownload", 0),
    TAVRO_OPEN_WITH(L".htm", 0),
    TAVRO_OPEN_WITH(L".html", 0),
    TAVRO_OPEN_WITH(L".pdf", 0),
    TAVRO_OPEN_WITH(L".shtml", 0),
    TAVRO_OPEN_WITH(L".xht", 0),
    TAVRO_OPEN_WITH(L".xhtml", 0),
    // Only the stable stream is the browser the system finds by its executable's name.
    {L"Software\\Classes\\Applications\\{Executable}\\shell\\open\\command", nullptr, REG_SZ,
     L"\"" TAVRO_LAUNCHER L"\" \"%1\"", kXp, kAnyRoot, 4, 4, 0},
    {L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\{Executable}", nullptr, REG_SZ,
     L"\"" TAVRO_LAUNCHER L"\"", kXp, kAnyRoot, 4, 0, 0},
    {L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\{Executable}", L"Path", REG_SZ,
     L"\"{InstallFolder}\"", kXp, kAnyRoot, 4, 0, 0},
    {L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
     L"Assistant\\Persisted",
     TAVRO_LAUNCHER, REG_DWORD, 32, kVista, kAnyRoot, 0, 0, 0},
    {L"Software\\RegisteredApplications", L"{Product} {Stream}", REG_SZ,
     TAVRO_CLIENT L"\\Capabilities", kVista, kAnyRoot, 0, 0, 0},
    // The start menu's browser entry and its capabilities.
    {TAVRO_CLIENT, nullptr, REG_SZ, L"{Product} {Stream}", kXp, kAnyRoot, 0, 1, 0},
    {TAVRO_CLIENT L"\\DefaultIcon", nullptr, REG_SZ, TAVRO_LAUNCHER L",0", kXp, kAnyRoot, 0, 1, 0},
    {TAVRO_CLIENT L"\\InstallInfo", L"ShowIconsCommand", REG_SZ,
     L"\"" TAVRO_LAUNCHER L"\" --showicons", kXp, kAnyRoot, 0, 1, 0},
    {TAVRO_CLIENT L"\\InstallInfo", L"HideIconsCommand", REG_SZ,
     L"\"" TAVRO_LAUNCHER L"\" --hideicons", kXp, kAnyRoot, 0, 1, 0},
    {TAVRO_CLIENT L"\\InstallInfo", L"ReinstallCommand", REG_SZ,
     L"\"" TAVRO_LAUNCHER L"\" --makedefaultbrowser", kXp, kAnyRoot, 0, 1, 0},
    {TAVRO_CLIENT L"\\InstallInfo", L"IconsVisible", REG_DWORD, 1, kXp, kAnyRoot, 0, 1, 0},
    {TAVRO_CLIENT L"\\shell\\open\\command", nullptr, REG_SZ, L"\"" TAVRO_LAUNCHER L"\"", kXp,
     kAnyRoot, 0, 2, 0},
    {TAVRO_CLIENT L"\\Capabilities", L"ApplicationDescription", REG_SZ, L"Do more on the web",
     kVista, kAnyRoot, 0, 1, 0},
    {TAVRO_CLIENT L"\\Capabilities", L"ApplicationIcon", REG_SZ, L"\"" TAVRO_LAUNCHER L"\",0",
     kVista, kAnyRoot, 0, 1, 0},
    {TAVRO_CLIENT L"\\Capabilities", L"ApplicationName", REG_SZ, L"{Product} {Stream}", kVista,
     kAnyRoot, 0, 1, 0},
    TAVRO_FILE_ASSOCIATION(L".crx"),
    TAVRO_FILE_ASSOCIATION(L".htm"),
    TAVRO_FILE_ASSOCIATION(L".html"),
    TAVRO_FILE_ASSOCIATION(L".nex"),
    TAVRO_FILE_ASSOCIATION(L".opdownload"),
    TAVRO_FILE_ASSOCIATION(L".pdf"),
    TAVRO_FILE_ASSOCIATION(L".shtml"),
    TAVRO_FILE_ASSOCIATION(L".xht"),
    TAVRO_FILE_ASSOCIATION(L".xhtml"),
    {TAVRO_CLIENT L"\\Capabilities\\Startmenu", L"StartMenuInternet", REG_SZ, L"{Product}{Stream}",
     kVista, kAnyRoot, 0, 1, 0},
    TAVRO_URL_ASSOCIATION(L"http"),
    TAVRO_URL_ASSOCIATION(L"https"),
    TAVRO_URL_ASSOCIATION(L"ftp"),
    TAVRO_URL_ASSOCIATION(L"mailto"),
    // The uninstall entry, where the system's list of programs looks for it.
    {L"{Uninstall}", L"DisplayName", REG_SZ, L"{Product} {Stream} {Version}", kXp, kAnyRoot, 0, 1,
     kView32},
    {L"{Uninstall}", L"DisplayIcon", REG_SZ, L"\"" TAVRO_LAUNCHER L"\",0", kXp, kAnyRoot, 0, 1,
     kView32},
    {L"{Uninstall}", L"DisplayVersion", REG_SZ, L"{Version}", kXp, kAnyRoot, 0, 1, kView32},
    {L"{Uninstall}", L"HelpLink", REG_SZ, L"{HelpURL}", kXp, kAnyRoot, 0, 1, kView32},
    {L"{Uninstall}", L"InstallLocation", REG_SZ, L"{InstallFolder}", kXp, kAnyRoot, 0, 1, kView32},
    {L"{Uninstall}", L"NoModify", REG_DWORD, 1, kXp, kAnyRoot, 0, 1, kView32},
    {L"{Uninstall}", L"NoRepair", REG_DWORD, 1, kXp, kAnyRoot, 0, 1, kView32},
    {L"{Uninstall}", L"Publisher", REG_SZ, L"{Company}", kXp, kAnyRoot, 0, 1, kView32},
    {L"{Uninstall}", L"UninstallString", REG_SZ, L"\"" TAVRO_LAUNCHER L"\" /uninstall", kXp,
     kAnyRoot, 0, 1, kView32},
    {L"{Uninstall}", L"URLInfoAbout", REG_SZ, L"{CompanyURL}", kXp, kAnyRoot, 0, 1, kView32},
    {L"{Uninstall}", L"URLUpdateInfo", REG_SZ, L"{DownloadsURL}", kXp, kAnyRoot, 0, 1, kView32},
};

#undef TAVRO_URL_ASSOCIATION
#undef TAVRO_OPEN_WITH
#undef TAVRO_FILE_ASSOCIATION
#undef TAVRO_LAUNCHER
#undef TAVRO_CLIENT
#undef TAVRO_CLASS

}  // namespace

std::span<const RegistryTemplateRow> GetMainRegistryTable() {
  return kMainRegistryTable;
}

constinit const RegistryTemplateRow kSetLastInstallPathRegOp = {
    L"{CompanyRegistryKey}", L"Last {Stream} Install Path", REG_SZ, L"{InstallFolder}\\", kXp,
    kAnyRoot, 0, 0, 0};

constinit const RegistryTemplateRow kDeleteX64LastInstallPathRegOp = {
    L"{CompanyRegistryKey}", L"Last {Stream} Install Path x64", kRegistryRowDeleteValue, nullptr,
    kXp, kAnyRoot, 0, 0, 0};

constinit const RegistryTemplateRow kHideFromProgramsAndFeaturesRegOp = {
    L"{Uninstall}", L"SystemComponent", REG_DWORD, 1, kXp, kAnyRoot, 0, 1, kView32};

}  // namespace installer
