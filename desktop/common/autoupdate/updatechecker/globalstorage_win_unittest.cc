#include "desktop/common/autoupdate/updatechecker/globalstorage_win.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/json/json_file_reader.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/thread.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr wchar_t kTestKeysPath[] = L"Software\\TavroTest";

class GlobalStorageTest : public testing::Test {
 protected:
  void SetUp() override {
    test_key_name_ = L"GlobalStorage_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                     std::to_wstring(::GetTickCount64());
    registry_path_ = std::wstring(kTestKeysPath) + L"\\" + test_key_name_;
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    fallback_file_ = temp_.GetPath().Append(L"au_global_storage");
  }

  void TearDown() override {
    base::win::RegistryKey(HKEY_CURRENT_USER, kTestKeysPath, KEY_ALL_ACCESS)
        .DeleteKey(test_key_name_.c_str());
  }

  // A storage on the test key, probed as Instance would.
  std::unique_ptr<GlobalStorage> MakeStorage(bool copy_only) {
    auto storage = std::make_unique<GlobalStorage>(registry_path_, copy_only);
    storage->ProbeWriteAccess();
    return storage;
  }

  bool RegistryKeyExists() const {
    return base::win::RegistryKey(HKEY_CURRENT_USER, registry_path_.c_str(), KEY_READ).Valid();
  }

  void WriteFallbackFile(const std::string& json) {
    const int size = static_cast<int>(json.size());
    ASSERT_EQ(size, base::WriteFileFromBuffer(fallback_file_, json.data(), size));
  }

  std::unique_ptr<base::Value> ReadFallbackDictionary() const {
    std::unique_ptr<base::DictionaryValue> prefs = base::DictionaryValue::From(
        base::JsonFileReader(fallback_file_).Deserialize(nullptr, nullptr));
    std::unique_ptr<base::Value> entries;
    if (prefs)
      prefs->Remove("GS", &entries);
    return entries;
  }

  std::wstring test_key_name_;
  std::wstring registry_path_;
  base::ScopedTempDir temp_;
  base::FilePath fallback_file_;
};

TEST_F(GlobalStorageTest, RegistryRoundTripKeepsTheTextWithoutNul) {
  std::unique_ptr<GlobalStorage> storage = MakeStorage(false);
  std::string value = "stale";
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Read("UUID", &value));
  EXPECT_EQ("", value);
  // Deleting a value whose key does not even exist is no failure, whatever the last
  // error of the thread says.
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Write("UUID", ""));
  EXPECT_FALSE(RegistryKeyExists());

  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Write("UUID", "0f1e-2d3c"));
  base::win::RegistryKey key(HKEY_CURRENT_USER, registry_path_.c_str(), KEY_READ);
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
  ASSERT_EQ(ERROR_SUCCESS, key.ReadRawValue(L"UUID", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  // Nine UTF-16 characters and no terminating NUL.
  ASSERT_EQ(9 * sizeof(wchar_t), data.size());
  EXPECT_EQ(L"0f1e-2d3c", std::wstring(reinterpret_cast<const wchar_t*>(data.data()), 9));
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Read("UUID", &value));
  EXPECT_EQ("0f1e-2d3c", value);

  // A key that has no value, in an existing key, and deleting the value.
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Write("missing", ""));
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Write("UUID", ""));
  EXPECT_FALSE(key.HasValue(L"UUID"));
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Read("UUID", &value));
  EXPECT_EQ("", value);
  // Nothing went to a fallback file.
  EXPECT_FALSE(base::PathExists(fallback_file_));
}

TEST_F(GlobalStorageTest, RejectsMissingArguments) {
  std::unique_ptr<GlobalStorage> storage = MakeStorage(false);
  std::string value = "stale";
  EXPECT_EQ(GlobalStorage::STATUS_INVALID_ARGUMENT, storage->Read("", &value));
  EXPECT_EQ("", value);
  EXPECT_EQ(GlobalStorage::STATUS_INVALID_ARGUMENT, storage->Read("UUID", nullptr));
  EXPECT_EQ(GlobalStorage::STATUS_INVALID_ARGUMENT, storage->Write("", "x"));
}

TEST_F(GlobalStorageTest, BusyWhileAnotherThreadHoldsTheMutex) {
  std::unique_ptr<GlobalStorage> storage = MakeStorage(false);
  ASSERT_EQ(GlobalStorage::STATUS_OK, storage->Write("UUID", "before"));

  // A mutex belongs to the thread that took it, so another thread stands in for another
  // process.
  base::Thread holder("GsMutexHolder");
  ASSERT_TRUE(holder.Start());
  base::win::ScopedHandle mutex;
  base::WaitEvent taken(base::WaitEvent::ResetPolicy::MANUAL,
                        base::WaitEvent::InitialState::NOT_SIGNALED);
  holder.GetTaskRunner()->PostTask(FROM_HERE, base::BindLambda([&]() {
    mutex.Set(::CreateMutexW(nullptr, FALSE, L"mevd_registry_mutex"));
    ::WaitForSingleObject(mutex.Get(), INFINITE);
    taken.Signal();
  }));
  taken.Wait();

  std::string value = "stale";
  EXPECT_EQ(GlobalStorage::STATUS_BUSY, storage->Read("UUID", &value));
  EXPECT_EQ("", value);
  EXPECT_EQ(GlobalStorage::STATUS_BUSY, storage->Write("UUID", "during"));

  holder.GetTaskRunner()->PostTask(FROM_HERE,
                                   base::BindLambda([&]() { ::ReleaseMutex(mutex.Get()); }));
  holder.Stop();
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Read("UUID", &value));
  EXPECT_EQ("before", value);
}

TEST_F(GlobalStorageTest, CopyOnlyInstallationUsesTheFallbackFile) {
  std::unique_ptr<GlobalStorage> storage = MakeStorage(true);
  std::string value;
  // Without a fallback folder there is nowhere to write.
  EXPECT_EQ(GlobalStorage::STATUS_FAILED, storage->Write("UUID", "x"));

  storage->SetFallbackFolder(temp_.GetPath());
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Read("UUID", &value));
  EXPECT_EQ("", value);
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Write("UUID", "0f1e-2d3c"));
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Write("dotted.key", "kept whole"));
  std::unique_ptr<base::Value> entries = ReadFallbackDictionary();
  ASSERT_TRUE(entries);
  base::DictionaryValue expected;
  expected.SetWithoutPathExpansion("UUID", std::make_unique<base::StringValue>("0f1e-2d3c"));
  expected.SetWithoutPathExpansion("dotted.key", std::make_unique<base::StringValue>("kept whole"));
  EXPECT_TRUE(expected.Equals(entries.get()));

  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Read("UUID", &value));
  EXPECT_EQ("0f1e-2d3c", value);
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Read("dotted.key", &value));
  EXPECT_EQ("kept whole", value);
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Write("UUID", ""));
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Read("UUID", &value));
  EXPECT_EQ("", value);
  EXPECT_FALSE(RegistryKeyExists());
}

TEST_F(GlobalStorageTest, FallbackEntriesThatAreNotADictionaryFail) {
  WriteFallbackFile("{\"GS\": [\"UUID\"]}");
  std::unique_ptr<GlobalStorage> storage = MakeStorage(true);
  storage->SetFallbackFolder(temp_.GetPath());
  std::string value;
  EXPECT_EQ(GlobalStorage::STATUS_FAILED, storage->Read("UUID", &value));
  EXPECT_EQ(GlobalStorage::STATUS_FAILED, storage->Write("UUID", "x"));
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(fallback_file_, &text));
  EXPECT_EQ("{\"GS\": [\"UUID\"]}", text);
}

TEST_F(GlobalStorageTest, FallbackEntriesMoveIntoTheRegistry) {
  WriteFallbackFile("{\"GS\": {\"UUID\": \"from-file\", \"count\": 3}}");
  std::unique_ptr<GlobalStorage> storage = MakeStorage(false);
  storage->SetFallbackFolder(temp_.GetPath());

  base::win::RegistryKey key(HKEY_CURRENT_USER, registry_path_.c_str(), KEY_READ);
  EXPECT_TRUE(key.HasValue(L"UUID"));
  EXPECT_FALSE(key.HasValue(L"count"));
  std::string value;
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Read("UUID", &value));
  EXPECT_EQ("from-file", value);

  // The file stays, and later writes keep it up to date beside the registry.
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Write("UUID", "new"));
  std::unique_ptr<base::Value> entries = ReadFallbackDictionary();
  ASSERT_TRUE(entries);
  const base::DictionaryValue* dictionary = nullptr;
  ASSERT_TRUE(entries->GetAsDictionary(&dictionary));
  EXPECT_TRUE(dictionary->GetString("UUID", &value));
  EXPECT_EQ("new", value);
  EXPECT_EQ(GlobalStorage::STATUS_OK, storage->Read("UUID", &value));
  EXPECT_EQ("new", value);
}

}  // namespace
}  // namespace installer
