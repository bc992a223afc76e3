#include "desktop/windows/installer/ui/full_package_download.h"

#include <windows.h>
#include <shellapi.h>

#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_info.h"

namespace installer {

namespace {

constexpr wchar_t kInternetExplorer[] = L"%ProgramFiles%\\Internet Explorer\\iexplore.exe";

bool ShellOpen(const wchar_t* file, const wchar_t* parameters) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_DOENVSUBST | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = file;
  info.lpParameters = parameters;
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) {
    PLOG(ERROR) << "Cannot open " << file;
    return false;
  }
  // The started program, when the shell says which, is none of ours to wait for.
  base::win::ScopedHandle process(info.hProcess);
  return true;
}

}  // namespace

std::wstring GetFullPackageUrl() {
  std::string url = ProductConfig::GetInstance().GetUrl("download_full_windows");
  if (GetCurrentStream() != STREAM_STABLE) {
    base::StringAppendF(&url, "&product=%s%%20%s", ProductInfo::GetProductName().c_str(),
                        ProductInfo::GetStream().c_str());
  }
  return base::Utf8ToUtf16(url);
}

bool OpenFullPackageUrl(const std::wstring& url, const base::FilePath& install_folder) {
  const Installation installation(install_folder);
  if (installation.IsDefaultHandlerFor(L"http", true) ||
      installation.IsDefaultHandlerFor(L"http", false)) {
    VLOG(1) << "Downloading full package with IE";
    return ShellOpen(kInternetExplorer, url.c_str());
  }
  VLOG(1) << "Downloading full package with default browser";
  return ShellOpen(url.c_str(), nullptr);
}

}  // namespace installer
