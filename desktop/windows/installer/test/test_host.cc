#include "desktop/windows/installer/test/test_host.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/values.h"
#include "base/win/scoped_owner.h"
#include "desktop/windows/installer/test/installer_process.h"

namespace installer {
namespace test {

namespace {

constexpr int kProductConfigId = 133;
constexpr wchar_t kTextResourceType[] = L"TXT";

// An executable mapped for reading its resources only.
struct ResourceModuleTraits : base::win::NullIsInvalid<HMODULE> {
  static void Free(HMODULE module) { ::FreeLibrary(module); }
};
using ResourceModule = base::win::ScopedOwner<ResourceModuleTraits>;

ResourceModule OpenResourceModule(const base::FilePath& path) {
  ResourceModule module(::LoadLibraryExW(path.value().c_str(), nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module.IsValid())
    PLOG(ERROR) << "Cannot open the resources of " << path;
  return module;
}

// A pending change of an executable's resources, discarded unless committed.
class ResourceUpdate {
 public:
  explicit ResourceUpdate(const base::FilePath& path)
      : update_(::BeginUpdateResourceW(path.value().c_str(), FALSE)) {
    if (!update_)
      PLOG(ERROR) << "BeginUpdateResource failed for " << path;
  }
  ~ResourceUpdate() {
    if (update_)
      ::EndUpdateResourceW(update_, TRUE);
  }
  ResourceUpdate(const ResourceUpdate&) = delete;
  ResourceUpdate& operator=(const ResourceUpdate&) = delete;
  HANDLE get() const { return update_; }
  bool Commit() {
    const HANDLE update = update_;
    update_ = nullptr;
    if (::EndUpdateResourceW(update, FALSE))
      return true;
    PLOG(ERROR) << "EndUpdateResource failed";
    return false;
  }

 private:
  HANDLE update_;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR result) {
  reinterpret_cast<std::vector<WORD>*>(result)->push_back(language);
  return TRUE;
}

BOOL CALLBACK TakeLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR result) {
  *reinterpret_cast<WORD*>(result) = language;
  return FALSE;  // The first one is enough.
}

// The product configuration and the language it is stored under.
bool ReadConfigResource(const base::FilePath& host, std::string* json, WORD* language) {
  const ResourceModule module = OpenResourceModule(host);
  if (!module.IsValid())
    return false;
  const HRSRC resource =
      ::FindResourceW(module.Get(), MAKEINTRESOURCEW(kProductConfigId), kTextResourceType);
  const HGLOBAL loaded = resource ? ::LoadResource(module.Get(), resource) : nullptr;
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) {
    LOG(ERROR) << host << " has no product configuration";
    return false;
  }
  json->assign(static_cast<const char*>(data), ::SizeofResource(module.Get(), resource));
  *language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
  ::EnumResourceLanguagesW(module.Get(), kTextResourceType, MAKEINTRESOURCEW(kProductConfigId),
                           TakeLanguage, reinterpret_cast<LONG_PTR>(language));
  return true;
}

}  // namespace

std::string ReadProductConfig(const base::FilePath& host) {
  std::string json;
  WORD language = 0;
  return ReadConfigResource(host, &json, &language) ? json : std::string();
}

bool MakeTestHost(const base::FilePath& folder,
                  const std::vector<std::pair<std::string, std::string>>& config_changes,
                  base::FilePath* host,
                  const std::vector<std::pair<std::string, std::string>>& json_changes) {
  const base::FilePath source = base::FilePath(GetTestBinFolder()).Append(L"installer.exe");
  std::string json;
  WORD language = 0;
  if (!ReadConfigResource(source, &json, &language))
    return false;
  std::unique_ptr<base::DictionaryValue> config =
      base::DictionaryValue::From(base::JsonReader::Read(json));
  if (!config) {
    LOG(ERROR) << "The product configuration of " << source << " is not a JSON object";
    return false;
  }
  for (const auto& change : config_changes)
    config->SetString(change.first, change.second);
  for (const auto& change : json_changes) {
    std::unique_ptr<base::Value> value = base::JsonReader::Read(change.second);
    if (!value) {
      LOG(ERROR) << "Not a JSON value for " << change.first << ": " << change.second;
      return false;
    }
    config->Set(change.first, std::move(value));
  }
  std::string changed;
  if (!base::JsonWriter::Write(*config, &changed))
    return false;

  const base::FilePath copy = CopyInstallerTo(folder, L"installer.exe");
  if (copy.empty()) {
    LOG(ERROR) << "Cannot copy the host into " << folder;
    return false;
  }
  ResourceUpdate update(copy);
  if (!update.get())
    return false;
  if (!::UpdateResourceW(update.get(), kTextResourceType, MAKEINTRESOURCEW(kProductConfigId),
                         language, &changed[0], static_cast<DWORD>(changed.size()))) {
    PLOG(ERROR) << "UpdateResource failed for " << copy;
    return false;
  }
  if (!update.Commit())
    return false;
  *host = copy;
  return true;
}

bool ReplaceResource(const base::FilePath& program,
                     const wchar_t* type,
                     int id,
                     const std::string& data) {
  std::vector<WORD> languages;
  {
    const ResourceModule module = OpenResourceModule(program);
    if (!module.IsValid())
      return false;
    ::EnumResourceLanguagesW(module.Get(), type, MAKEINTRESOURCEW(id), CollectLanguage,
                             reinterpret_cast<LONG_PTR>(&languages));
  }
  if (languages.empty()) {
    LOG(ERROR) << program << " has no such resource";
    return false;
  }
  ResourceUpdate update(program);
  if (!update.get())
    return false;
  for (WORD language : languages) {
    if (!::UpdateResourceW(update.get(), type, MAKEINTRESOURCEW(id), language,
                           const_cast<char*>(data.data()), static_cast<DWORD>(data.size()))) {
      PLOG(ERROR) << "UpdateResource failed";
      return false;
    }
  }
  return update.Commit();
}

}  // namespace test
}  // namespace installer
