#include "desktop/windows/installer/test/registry_snapshot.h"

#include <string.h>
#include <wchar.h>

#include <algorithm>

#include "base/files/file_path.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"

namespace installer {
namespace test {

namespace {

constexpr size_t kMaxBinaryBytesShown = 32;

std::wstring RootName(HKEY root, REGSAM view) {
  std::wstring name = root == HKEY_CURRENT_USER    ? L"HKCU"
                      : root == HKEY_LOCAL_MACHINE ? L"HKLM"
                      : root == HKEY_CLASSES_ROOT  ? L"HKCR"
                      : root == HKEY_USERS         ? L"HKU"
                                                   : L"HKEY";
  if (view & KEY_WOW64_32KEY)
    name += L"32";
  return name;
}

// The UTF-16 text of string data, without its terminating NULs.
std::wstring DataToText(const std::vector<uint8_t>& data) {
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  if (!text.empty())
    memcpy(&text[0], data.data(), text.size() * sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0')
    text.pop_back();
  return text;
}

std::string Quote(const std::wstring& text) {
  std::string quoted(1, '"');
  quoted += base::Utf16ToUtf8(text);
  quoted += '"';
  return quoted;
}

std::wstring ValuePath(const std::wstring& key, const std::wstring& name) {
  return key + L"\\" + (name.empty() ? std::wstring(L"(Default)") : name);
}

}  // namespace

bool RegistrySnapshot::LessIgnoringCase::operator()(const std::wstring& a,
                                                    const std::wstring& b) const {
  return base::FilePath::CompareIgnoreCase(a, b) < 0;
}

std::string RegistrySnapshot::Value::ToString() const {
  switch (type) {
    case REG_SZ:
      return Quote(DataToText(data));
    case REG_EXPAND_SZ:
      return "expand " + Quote(DataToText(data));
    case REG_MULTI_SZ: {
      std::string text;
      const std::wstring all = DataToText(data);
      for (size_t start = 0; start < all.size();) {
        const size_t end = std::min(all.find(L'\0', start), all.size());
        text += (text.empty() ? "" : ", ") + Quote(all.substr(start, end - start));
        start = end + 1;
      }
      return "[" + text + "]";
    }
    case REG_DWORD:
      if (data.size() == sizeof(DWORD)) {
        DWORD number = 0;
        memcpy(&number, data.data(), sizeof(number));
        return base::StringPrintf("dword %lu (0x%lX)", number, number);
      }
      break;
    case REG_QWORD:
      if (data.size() == sizeof(uint64_t)) {
        uint64_t number = 0;
        memcpy(&number, data.data(), sizeof(number));
        return base::StringPrintf("qword %llu", static_cast<unsigned long long>(number));
      }
      break;
  }
  std::string text = base::StringPrintf("type %lu, %zu bytes", type, data.size());
  if (!data.empty()) {
    text += ' ';
    text += base::HexEncode(data.data(), std::min(data.size(), kMaxBinaryBytesShown));
    if (data.size() > kMaxBinaryBytesShown)
      text += "...";
  }
  return text;
}

RegistrySnapshot RegistrySnapshot::Capture(const std::vector<RegistryRoot>& roots) {
  RegistrySnapshot snapshot;
  for (const RegistryRoot& root : roots)
    snapshot.CaptureKey(root.root, root.path, root, std::wstring());
  return snapshot;
}

void RegistrySnapshot::CaptureKey(HKEY parent,
                                  const std::wstring& subkey,
                                  const RegistryRoot& root,
                                  const std::wstring& relative) {
  for (const std::wstring& skipped : root.skipped) {
    if (base::FilePath::CompareEqualIgnoreCase(relative, skipped))
      return;
  }
  // Each key is opened once, below its parent's handle, and read with buffers sized from
  // its own counts: a whole HKEY_LOCAL_MACHINE\Software is thousands of keys, and every
  // registry call is a round trip to the system.
  base::win::RegistryKey key;
  if (key.Open(parent, subkey.c_str(), KEY_READ | root.view) != ERROR_SUCCESS)
    return;  // A key that cannot be opened is not there for this snapshot.
  DWORD subkey_count = 0;
  DWORD max_subkey_length = 0;
  DWORD value_count = 0;
  DWORD max_value_name_length = 0;
  DWORD max_data_size = 0;
  if (::RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, &subkey_count, &max_subkey_length,
                         nullptr, &value_count, &max_value_name_length, &max_data_size, nullptr,
                         nullptr) != ERROR_SUCCESS) {
    return;
  }
  std::wstring name = RootName(root.root, root.view) + L"\\" + root.path;
  if (!relative.empty())
    name += L"\\" + relative;
  Values& values = keys_[name];
  std::vector<wchar_t> text(std::max(max_subkey_length, max_value_name_length) + 1);
  std::vector<uint8_t> data(max_data_size);
  for (DWORD index = 0; index < value_count; ++index) {
    DWORD length = static_cast<DWORD>(text.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    if (::RegEnumValueW(key.Handle(), index, text.data(), &length, nullptr, &type, data.data(),
                        &size) == ERROR_SUCCESS) {
      values[std::wstring(text.data(), length)] =
          Value{type, std::vector<uint8_t>(data.begin(), data.begin() + size)};
    }
  }
  std::vector<std::wstring> children;
  for (DWORD index = 0; index < subkey_count; ++index) {
    DWORD length = static_cast<DWORD>(text.size());
    if (::RegEnumKeyExW(key.Handle(), index, text.data(), &length, nullptr, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS) {
      children.emplace_back(text.data(), length);
    }
  }
  for (const std::wstring& child : children)
    CaptureKey(key.Handle(), child, root, relative.empty() ? child : relative + L"\\" + child);
}

std::vector<RegistryRoot> RegistrySnapshot::DefaultRoots() {
  std::vector<std::wstring> com_registrations;
  for (const wchar_t* classes : {L"Classes\\", L"Wow6432Node\\Classes\\"}) {
    for (const wchar_t* tree : {L"CLSID", L"Interface", L"TypeLib"})
      com_registrations.push_back(std::wstring(classes) + tree);
  }
  return {{HKEY_CURRENT_USER, L"Software", KEY_WOW64_64KEY, com_registrations},
          {HKEY_LOCAL_MACHINE, L"Software", KEY_WOW64_64KEY, com_registrations}};
}

AllowList RegistrySnapshot::DefaultAllowList() {
  return {// Wine's own settings.
          L"HKCU\\Software\\Wine\\*", L"HKLM\\Software\\Wine\\*",
          // The certificate stores, filled by the system the first time a process checks
          // a signature.
          L"HKCU\\Software\\Microsoft\\SystemCertificates*",
          L"HKLM\\Software\\Microsoft\\SystemCertificates*",
          L"HKLM\\Software\\Wow6432Node\\Microsoft\\SystemCertificates*",
          // The state of the signature checks, kept on the first.
          L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Wintrust*",
          // Wine's WinINet writes the proxy switch it found missing the first time a process
          // of the prefix asks for the proxy settings; the installer sets no proxy.
          L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ProxyEnable",
          // Wine's shell writes where the users' profiles live the first time a process of the
          // prefix asks for that folder (the installer lists it among the folders it never
          // deletes).
          L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Users"};
}

const RegistrySnapshot::Values* RegistrySnapshot::FindKey(const std::wstring& key) const {
  const auto found = keys_.find(key);
  return found == keys_.end() ? nullptr : &found->second;
}

const RegistrySnapshot::Value* RegistrySnapshot::FindValue(const std::wstring& key,
                                                           const std::wstring& name) const {
  const Values* values = FindKey(key);
  if (!values)
    return nullptr;
  const auto found = values->find(name);
  return found == values->end() ? nullptr : &found->second;
}

std::vector<SnapshotDifference> CompareSnapshots(const RegistrySnapshot& before,
                                                 const RegistrySnapshot& after,
                                                 const AllowList& allowed) {
  using Kind = SnapshotDifference::Kind;
  std::vector<SnapshotDifference> differences;
  // Values of a key only one snapshot has are listed below the key's own line.
  auto list_values = [&](const std::wstring& key, const RegistrySnapshot::Values& values,
                         Kind kind) {
    for (const auto& value : values) {
      const std::wstring path = ValuePath(key, value.first);
      if (!IsAllowed(path, allowed))
        differences.push_back({kind, path, value.second.ToString()});
    }
  };
  for (const auto& key : before.keys()) {
    const RegistrySnapshot::Values* now = after.FindKey(key.first);
    if (!now) {
      if (!IsAllowed(key.first, allowed))
        differences.push_back({Kind::kRemoved, key.first, std::string()});
      list_values(key.first, key.second, Kind::kRemoved);
      continue;
    }
    for (const auto& value : key.second) {
      const std::wstring path = ValuePath(key.first, value.first);
      if (IsAllowed(path, allowed))
        continue;
      const auto current = now->find(value.first);
      if (current == now->end()) {
        differences.push_back({Kind::kRemoved, path, value.second.ToString()});
      } else if (!(current->second == value.second)) {
        differences.push_back(
            {Kind::kChanged, path, value.second.ToString() + " -> " + current->second.ToString()});
      }
    }
    for (const auto& value : *now) {
      if (key.second.find(value.first) == key.second.end()) {
        const std::wstring path = ValuePath(key.first, value.first);
        if (!IsAllowed(path, allowed))
          differences.push_back({Kind::kAdded, path, value.second.ToString()});
      }
    }
  }
  for (const auto& key : after.keys()) {
    if (before.FindKey(key.first))
      continue;
    if (!IsAllowed(key.first, allowed))
      differences.push_back({Kind::kAdded, key.first, std::string()});
    list_values(key.first, key.second, Kind::kAdded);
  }
  std::stable_sort(differences.begin(), differences.end(),
                   [](const SnapshotDifference& a, const SnapshotDifference& b) {
                     return base::FilePath::CompareIgnoreCase(a.path, b.path) < 0;
                   });
  return differences;
}

void DeleteAddedRegistryEntries(const RegistrySnapshot& before) {
  const RegistrySnapshot now = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
  const std::vector<SnapshotDifference> differences =
      CompareSnapshots(before, now, RegistrySnapshot::DefaultAllowList());
  // Values first, then keys, deepest first.
  for (auto it = differences.rbegin(); it != differences.rend(); ++it) {
    if (it->kind != SnapshotDifference::Kind::kAdded)
      continue;
    const bool machine = it->path.starts_with(L"HKLM\\");
    const HKEY root = machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const std::wstring path = it->path.substr(wcslen(L"HKLM\\"));
    if (now.FindKey(it->path)) {
      ::RegDeleteKeyExW(root, path.c_str(), KEY_WOW64_64KEY, 0);
      continue;
    }
    const size_t separator = path.rfind(L'\\');
    base::win::RegistryKey key(root, path.substr(0, separator).c_str(),
                               KEY_SET_VALUE | KEY_WOW64_64KEY);
    key.DeleteValue(path.substr(separator + 1).c_str());
  }
}

}  // namespace test
}  // namespace installer
