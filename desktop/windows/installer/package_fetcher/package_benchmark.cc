// Measures the package fetcher's heavy steps on real files and prints the figures for
// tools/package_benchmark.sh, which compares them with native tools run in the same go:
//
//   package_benchmark checksum FILE EXPECTED   VerifyChecksum of FILE
//   package_benchmark unpack ARCHIVE FOLDER    LzmaUtil unpacking ARCHIVE into FOLDER
//   package_benchmark download URL FILE        WininetDownloader fetching URL into FILE
//
// The unpacking also reports the peak private commit of the process where the system
// counts it (-1 under Wine, where the script samples the host's figure instead).

#include <windows.h>

#include <psapi.h>
#include <stdio.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "base/bind.h"
#include "base/files/file_path.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/time/time.h"
#include "desktop/windows/installer/package_fetcher/checksum_checker.h"
#include "desktop/windows/installer/package_fetcher/lzma_util.h"
#include "desktop/windows/installer/wininet/download_event_sink.h"
#include "desktop/windows/installer/wininet/file_response_writer.h"
#include "desktop/windows/installer/wininet/ui_callback_runner.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"

namespace {

// The peak private commit of the process in MB, or a negative number where the system
// does not count it: Wine reports PrivateUsage as 0 and fills the page-file figures with
// the resident anonymous memory of the moment, not a peak (the script samples that).
double PeakPrivateMegabytes() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters)) ||
      counters.PrivateUsage == 0) {
    return -1;
  }
  return counters.PeakPagefileUsage / 1048576.0;
}

int Checksum(const base::FilePath& file, const std::string& expected) {
  const base::TimeTicks start = base::TimeTicks::Now();
  const bool match = installer::VerifyChecksum(file, expected);
  const base::TimeDelta elapsed = base::TimeTicks::Now() - start;
  printf("checksum_seconds=%.3f match=%d\n", elapsed.InSecondsF(), match ? 1 : 0);
  return match ? 0 : 1;
}

int Unpack(const base::FilePath& archive, const base::FilePath& folder) {
  const base::TimeTicks start = base::TimeTicks::Now();
  installer::LzmaUtil lzma;
  std::vector<base::FilePath> files;
  DWORD result = lzma.OpenArchive(archive);
  if (result == ERROR_SUCCESS)
    result = lzma.UnPack(folder, &files);
  const base::TimeDelta elapsed = base::TimeTicks::Now() - start;
  printf("unpack_seconds=%.3f result=%lu status=%d entries=%zu peak_private_mb=%.1f\n",
         elapsed.InSecondsF(), result, static_cast<int>(lzma.status()), files.size(),
         PeakPrivateMegabytes());
  return result == ERROR_SUCCESS ? 0 : 1;
}

// Stands in for the fetcher's delegate proxy, which posts every progress report to the
// controller's thread: here each report is posted to this thread's loop.
class ProgressCounter : public installer::WininetDownloader::Delegate,
                        public installer::UICallbackRunner {
 public:
  int reports() const { return reports_; }

  void SetTotalProgress(int32_t total) override { Post(); }
  void SetCurrentProgress(int32_t current) override { Post(); }
  void NotifyStalled() override {}
  void RunUICallbackAndPostReply(UITask ui_task,
                                 base::scoped_refptr<base::TaskRunner> reply_runner,
                                 Reply reply) override {
    installer::PostUICallbackReply(FROM_HERE, reply_runner, std::move(reply), 0);
  }

 private:
  void Post() {
    base::CurrentThreadTaskRunner::Get()->PostTask(
        FROM_HERE, base::BindLambda([this]() { ++reports_; }));
  }

  int reports_ = 0;
};

int Download(const std::wstring& url, const base::FilePath& file) {
  base::MessageLoop loop;
  ProgressCounter counter;
  const base::TimeTicks start = base::TimeTicks::Now();
  bool finished = false;
  {
    installer::WininetDownloader downloader(&counter, &counter);
    auto writer = std::make_unique<installer::FileResponseWriter>();
    base::RunLoop run_loop;
    if (writer->Open(file) &&
        downloader.Start(url, std::string(), base::BindLambda([&]() {
                           finished = downloader.state() ==
                                      installer::WininetDownloader::STATE_FINISHED;
                           run_loop.Quit();
                         }),
                         std::move(writer), nullptr)) {
      run_loop.Run();
    }
  }
  const base::TimeDelta elapsed = base::TimeTicks::Now() - start;
  {
    base::RunLoop drain;
    drain.QuitWhenIdle();
    drain.Run();
  }
  printf("download_seconds=%.3f finished=%d progress_reports=%d\n", elapsed.InSecondsF(),
         finished ? 1 : 0, counter.reports());
  return finished ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && wcscmp(argv[1], L"checksum") == 0)
    return Checksum(base::FilePath(argv[2]), base::Utf16ToUtf8(argv[3]));
  if (argc == 4 && wcscmp(argv[1], L"unpack") == 0)
    return Unpack(base::FilePath(argv[2]), base::FilePath(argv[3]));
  if (argc == 4 && wcscmp(argv[1], L"download") == 0)
    return Download(argv[2], base::FilePath(argv[3]));
  fprintf(stderr, "usage: package_benchmark checksum FILE EXPECTED | unpack ARCHIVE FOLDER |\n"
                  "       download URL FILE\n");
  return 2;
}
