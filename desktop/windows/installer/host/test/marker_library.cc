// A stand-in for the installer library in the host's tests. It is not the real library,
// so a host that loads it shows which file it loaded instead of doing any work. It also
// loads "planted_system_library.dll" by its bare name, as a system library loads another:
// a copy beside the host that the search found would leave its mark (see
// planted_system_library.cc). With TAVRO_TEST_RENAME_OWN_FOLDER set, it tries to rename the
// folder it was loaded from, as someone swapping that folder would, and says whether it
// could (and puts the folder back).

#include <windows.h>

#include <string>

extern "C" __declspec(dllexport) unsigned char RunInstaller() {
  HMODULE self = nullptr;
  wchar_t path[MAX_PATH] = {};
  if (::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<const wchar_t*>(&RunInstaller), &self)) {
    ::GetModuleFileNameW(self, path, MAX_PATH);
  }
  char narrow[MAX_PATH * 3] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, path, -1, narrow, sizeof(narrow), nullptr, nullptr);
  std::string line = std::string("marker library: ") + narrow;
  std::wstring folder(path);
  const size_t separator = folder.find_last_of(L'\\');
  if (::GetEnvironmentVariableW(L"TAVRO_TEST_RENAME_OWN_FOLDER", nullptr, 0) != 0 &&
      separator != std::wstring::npos) {
    folder.resize(separator);
    const std::wstring moved = folder + L".moved";
    if (::MoveFileW(folder.c_str(), moved.c_str())) {
      ::MoveFileW(moved.c_str(), folder.c_str());
      line += " (folder renamed)";
    } else {
      line += " (folder held)";
    }
  }
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
  const HMODULE planted = ::LoadLibraryW(L"planted_system_library.dll");
  if (planted)
    ::FreeLibrary(planted);
  return 1;
}
