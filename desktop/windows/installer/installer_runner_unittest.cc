#include "desktop/windows/installer/installer_runner.h"

#include <windows.h>
#include <sddl.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <list>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/exit_callback_registry.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/run_until.h"
#include "base/test/scoped_log_capture.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"
#include "base/wire_message.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/test/recording_runner_observer.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::RecordingRunnerObserver;

// The front end's thread: a message loop and COM; the registry is a test copy.
class InstallerRunnerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(registry_.IsValid());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    package_folder_ = temp_dir_.GetPath().Append(L"package");
    ASSERT_TRUE(base::CreateDirectory(package_folder_));
    logging::SetVlogLevels(1, "");
  }

  void TearDown() override { logging::SetVlogLevels(0, ""); }

  // Settings for |install_folder|, its read applied.
  std::unique_ptr<Settings> MakeSettings(const base::FilePath& install_folder) {
    command_lines_.push_back(base::CommandLine::FromString(
        L"installer.exe --launchtavro=0 --installfolder=\"" + install_folder.value() + L"\""));
    auto settings = std::make_unique<Settings>(false, false, false, install_folder, false,
                                               INSTALLER_ARCH_X64, &command_lines_.back());
    Settings* const read = settings.get();
    EXPECT_TRUE(base::test::RunUntil([read] { return !read->IsFetchingStatus(); }));
    return settings;
  }

  base::ExitCallbackRegistry exit_callbacks_;
  base::MessageLoop loop_;
  base::win::ScopedComInitializer com_;
  test::ScopedRegistryOverride registry_;
  base::ScopedTempDir temp_dir_;
  base::FilePath package_folder_;
  std::list<base::CommandLine> command_lines_;
};

TEST_F(InstallerRunnerTest, SettingsWithoutAnOperationStartNothing) {
  // A file is no install folder.
  const base::FilePath file = temp_dir_.GetPath().Append(L"file.txt");
  ASSERT_EQ(1, base::WriteFileFromBuffer(file, "x", 1));
  std::unique_ptr<Settings> settings = MakeSettings(file);
  ASSERT_EQ(OPERATION_INVALID, settings->operation());

  InstallerRunner runner(package_folder_, base::FilePath());
  RecordingRunnerObserver observer(&runner);
  base::test::ScopedLogCapture log;
  EXPECT_FALSE(runner.Start(settings.get()));
  EXPECT_EQ(std::vector<std::string>{"OnError(37058,,Attempting to start installation with "
                                     "invalid settings)"},
            observer.events());
  EXPECT_TRUE(
      log.Logged(logging::LOG_ERROR, "Attempting to start installation with invalid settings"));
  EXPECT_TRUE(settings->accepts_changes());
  EXPECT_FALSE(runner.backend_running());
}

// The backend's reports as they arrive from the mailslot.
base::WireMessage Wire(const InstallerMessage& message) {
  return base::WireMessage(*WriteInstallerMessage(message));
}

TEST_F(InstallerRunnerTest, PassesEachReportOnAndDropsWhatIsNoReport) {
  InstallerRunner runner(package_folder_, base::FilePath());
  RecordingRunnerObserver observer(&runner);
  base::test::ScopedLogCapture log;

  runner.OnMessageReceived(Wire(InstallerMessage::OfType(IPC_MESSAGE_INSTALL_FOLDER_READY)));
  runner.OnMessageReceived(Wire(InstallerMessage::StartingNewMainProcess(true)));
  runner.OnMessageReceived(Wire(InstallerMessage::StartingNewMainProcess(false)));
  runner.OnMessageReceived(
      Wire(InstallerMessage::OfType(IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS)));
  runner.OnMessageReceived(Wire(InstallerMessage::TotalSteps(12)));
  runner.OnMessageReceived(Wire(InstallerMessage::OfType(IPC_MESSAGE_STEP)));
  runner.OnMessageReceived(Wire(InstallerMessage::Error(37062, L"C:\\x\u00E9", "Failed copying x")));
  runner.OnMessageReceived(Wire(InstallerMessage::OfType(IPC_MESSAGE_SUCCESS)));
  // Progress goes on as it comes; an outcome waits for the backend's exit code (a process
  // that is no backend may have written it: here none runs).
  EXPECT_EQ((std::vector<std::string>{"OnInstallFolderReady", "OnStartingNewMainProcess(1)",
                                      "OnStartingNewMainProcess(0)",
                                      "OnReturnedToPreviousMainProcess", "OnTotalSteps(12)",
                                      "OnStep"}),
            observer.events());
  EXPECT_TRUE(log.Logged(-1, "IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS(1) received"));
  EXPECT_TRUE(log.Logged(-1, "IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS received"));
  EXPECT_TRUE(log.Logged(-1, "IPC_MESSAGE_TOTAL_STEPS(12) received"));
  EXPECT_TRUE(log.Logged(-1, "IPC_MESSAGE_STEP received"));
  EXPECT_TRUE(log.Logged(-1, "IPC_MESSAGE_ERROR(37062,C:\\x\xC3\xA9,Failed copying x) received"));
  EXPECT_TRUE(log.Logged(-1, "IPC_MESSAGE_SUCCESS received"));
  observer.Clear();
  log.Clear();

  // Any process can write into the mailslot: what is not a report reaches no observer.
  std::mt19937 random(20260102);
  const std::unique_ptr<base::WireMessage> error =
      WriteInstallerMessage(InstallerMessage::Error(37055, L"message", "detail"));
  const std::string error_bytes(error->data(), error->size());
  const size_t kSignatureEnd = 4 + 4 + 20;  // Payload size, length, padded text.
  int expected_unsigned = 0, expected_unknown = 0, expected_invalid = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    switch (round % 5) {
      case 0: {  // Random bytes, also no whole WireMessage at all.
        bytes.resize(random() % 2049);
        for (char& byte : bytes)
          byte = static_cast<char>(random());
        ++expected_unsigned;
        break;
      }
      case 1: {  // A report whose signature or its length is damaged.
        bytes = error_bytes;
        const size_t at = 4 + random() % (kSignatureEnd - 4 - 1);
        bytes[at] = static_cast<char>(bytes[at] ^ (1 + random() % 255));
        ++expected_unsigned;
        break;
      }
      case 2: {  // A type no backend sends.
        bytes = error_bytes;
        int32_t type = static_cast<int32_t>(random());
        if (type >= 0 && type <= 6)
          type += 7;
        memcpy(&bytes[kSignatureEnd], &type, sizeof(type));
        ++expected_unknown;
        break;
      }
      case 3: {  // An error report cut short within its fields.
        const size_t payload = 24 + 4 + 4 * (random() % 6);
        bytes = error_bytes.substr(0, 4 + payload);
        const uint32_t size = static_cast<uint32_t>(payload);
        memcpy(&bytes[0], &size, sizeof(size));
        ++expected_invalid;
        break;
      }
      case 4: {  // Fields whose lengths or values cannot be.
        if (random() % 2) {
          bytes = error_bytes;
          const int32_t length = random() % 2 ? -static_cast<int32_t>(1 + random() % 1000)
                                              : static_cast<int32_t>(100 + random() % 100000);
          memcpy(&bytes[kSignatureEnd + 8 + (random() % 2 ? 0 : 4 + 16)], &length,
                 sizeof(length));
        } else {
          bytes = std::string(
              WriteInstallerMessage(InstallerMessage::StartingNewMainProcess(true))->data(), 36);
          const int32_t value = 2 + random() % 1000;
          memcpy(&bytes[kSignatureEnd + 4], &value, sizeof(value));
        }
        ++expected_invalid;
        break;
      }
    }
    runner.OnMessageReceived(base::WireMessage(bytes.data(), bytes.size()));
  }
  // A report that ends before its type is dropped without a word.
  std::string typeless = error_bytes.substr(0, kSignatureEnd);
  const uint32_t typeless_size = kSignatureEnd - 4;
  memcpy(&typeless[0], &typeless_size, sizeof(typeless_size));
  runner.OnMessageReceived(base::WireMessage(typeless.data(), typeless.size()));

  EXPECT_EQ(std::vector<std::string>(), observer.events());
  EXPECT_EQ(expected_unsigned,
            log.CountLinesContaining("Received a message without installer signature"));
  EXPECT_EQ(expected_unknown,
            log.CountLinesContaining("Received installer message with invalid type"));
  EXPECT_EQ(expected_invalid,
            log.CountLinesContaining("Received invalid IPC_MESSAGE_ERROR message") +
                log.CountLinesContaining(
                    "Received invalid IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS message"));
  for (const auto& line : log.lines())
    EXPECT_GE(line.first, logging::LOG_WARNING) << line.second;
  EXPECT_EQ(expected_unsigned + expected_unknown + expected_invalid, log.lines().size());

  // And the next report still goes through.
  runner.OnMessageReceived(Wire(InstallerMessage::TotalSteps(3)));
  EXPECT_EQ(std::vector<std::string>{"OnTotalSteps(3)"}, observer.events());
}

// Objects of the folder's names that someone else made first: the run stops before any
// backend starts, and says which object it refused.
TEST_F(InstallerRunnerTest, NamedObjectsMadeFirstByOthersStopTheRun) {
  const base::FilePath install_folder = temp_dir_.GetPath().Append(L"Tavro");
  PSECURITY_DESCRIPTOR raw = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;WD)",
                                                                   SDDL_REVISION_1, &raw, nullptr));
  const base::win::ScopedLocalAlloc open_to_everyone(raw);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), raw, FALSE};
  enum Kind { kMutex, kEvent, kMailslot };
  struct Planted {
    Kind kind;
    std::wstring name;
  };
  const Planted planted_objects[] = {
      {kMutex, MakeObjectName(install_folder, L"Tavro/Installer", true)},
      {kEvent, MakeObjectName(install_folder, L"TavroInstaller/Backend", true)},
      {kMailslot, L"\\\\.\\mailslot\\" + MakeInstallerMailslotName(install_folder)},
      {kEvent, MakeObjectName(install_folder, L"TavroInstaller/InstallationInterrupted", true)},
  };
  for (const Planted& planted : planted_objects) {
    const std::string name = base::SystemWideToUtf8(planted.name);
    SCOPED_TRACE(name);
    const wchar_t* const raw_name = planted.name.c_str();
    const base::win::ScopedHandle object(
        planted.kind == kMutex   ? ::CreateMutexW(&attributes, FALSE, raw_name)
        : planted.kind == kEvent ? ::CreateEventW(&attributes, TRUE, TRUE, raw_name)
                                 : ::CreateMailslotW(raw_name, 0, 0, &attributes));
    ASSERT_TRUE(object.IsValid());
    std::unique_ptr<Settings> settings = MakeSettings(install_folder);
    InstallerRunner runner(package_folder_, base::FilePath());
    // Were the object taken, the launch of the missing "installer.exe" would fail instead.
    runner.SignalPackageReady();
    RecordingRunnerObserver observer(&runner);
    base::test::ScopedLogCapture log;
    EXPECT_FALSE(runner.Start(settings.get()));
    EXPECT_FALSE(runner.backend_running());
    ASSERT_EQ(1u, observer.events().size());
    EXPECT_TRUE(observer.events()[0].starts_with("OnError(37055,,")) << observer.events()[0];
    EXPECT_EQ(0, log.CountLinesContaining("launching installer backend"));
    // The error names the object.
    EXPECT_LE(1, log.CountLinesContaining(name));
  }
}

}  // namespace
}  // namespace installer
