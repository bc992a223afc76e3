#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_AUTOUPDATE_SERVER_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_AUTOUPDATE_SERVER_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/test/test_http_server.h"

namespace installer {
namespace test {

// The autoupdate server of the end-to-end tests, on 127.0.0.1 (a TestHttpServer). It
// answers what the installer asks of the real one:
// - the download-URL request, a POST with the tracking data or a GET, at
//   "<base>divedazaveve/<stream>" (and ".../windows/x64/"), with the JSON reply that names
//   the package installer, its SHA-256, the additional files and the welcome page;
// - the package installer and the additional files, with Range support;
// - the default-preference overrides, "<base>api/prefs/?product=...&version=...";
// - the statistics, POSTed to "<base>divedazaveve/feedback", which it records.
// Failures are scripted per resource (fail N times, cut after N bytes, never answer, a
// wrong checksum, a redirect, a trickled, huge or endless body); http() gives the
// TestHttpServer for anything else.
//
//   AutoupdateServer server;
//   ASSERT_TRUE(server.Start());
//   ASSERT_TRUE(server.SetPackage(ExamplePackage::Current().package_installer()));
//   ... MakeTestHost(folder, {{"urls.autoupdate", server.GetBaseUrl()}}, &host) and run it,
//   or pass GetDownloadUrlRequestUrl() as "internal-package-server" ...
//   EXPECT_EQ(1, server.GetPackageDownloadCount());
//
// Configure it before the installer runs; the records may be read at any time.
class AutoupdateServer {
 public:
  struct AdditionalFile {
    std::string type;      // "partner_content", "suite" or another component name.
    std::string filename;  // Required for plain files.
    bool archive = false;  // A self-extracting component archive.
    std::string content;
    // The first |fail_count| requests for the file get |fail_status| with an empty body.
    int fail_count = 0;
    int fail_status = 404;
    // Halfway through, the file is held up this long.
    int pause_ms = 0;
    // The request for the file is never answered (until the client gives up).
    bool stall = false;
  };

  AutoupdateServer();
  AutoupdateServer(const AutoupdateServer&) = delete;
  AutoupdateServer& operator=(const AutoupdateServer&) = delete;
  ~AutoupdateServer();

  // False when the server cannot listen.
  bool Start();
  void Stop();

  // "http://127.0.0.1:<port>/": the product configuration's "urls.autoupdate" for a host
  // that should use this server.
  std::string GetBaseUrl() const;
  // Where the package fetcher asks for the download URL (the value of the switch
  // "internal-package-server").
  std::wstring GetDownloadUrlRequestUrl(bool x64 = false) const;
  // Where the preference-overrides fetcher asks (the value of the switch
  // "local-pref-default-overrides-server").
  std::wstring GetPrefOverridesUrl() const;
  std::wstring GetPackageUrl() const;

  // The package installer the reply names; false when the file cannot be read.
  bool SetPackage(const base::FilePath& package_installer);
  void SetPackageContent(const std::string& content);
  void AddAdditionalFile(const AdditionalFile& file);
  void SetWelcomeUrl(const std::string& url);
  // The body of the preference-overrides answer.
  void SetPrefOverrides(const std::string& body);

  // Scripted failures.
  // The reply sent instead of the one made from the settings above (malformed JSON, ...).
  void SetDownloadUrlReply(const std::string& body);
  void FailDownloadUrlRequests(int count, int status = 503);
  void RedirectDownloadUrlRequests(const std::string& url, int status = 302);
  // The reply is followed by |bytes| of white space (announced), sent without pause.
  void PadDownloadUrlReplies(int64_t bytes);
  void FailPackageDownloads(int count, int status = 503);
  // The first |count| downloads of the package break off after |bytes| bytes.
  void CutPackageDownloads(int64_t bytes, int count = 1);
  // The package request is never answered (until the client gives up or the server stops).
  void StallPackageDownloads();
  void RedirectPackageDownloads(const std::string& url);
  // The package comes |bytes| bytes every |interval_ms|.
  void TricklePackageDownloads(int interval_ms, int bytes = 1);
  // The package is followed by filler without end, and no length is announced.
  void SendEndlessPackages();
  // The reply names a checksum that does not match the package.
  void SetWrongPackageChecksum(bool wrong);
  // Ends every scripted failure: from now on each request is answered as configured.
  void ClearFailures();

  // Records.
  std::vector<TestHttpServer::Request> GetDownloadUrlRequests() const;
  int GetPackageDownloadCount() const;
  // The requests for the additional file added |index|-th (the first is 0).
  int GetAdditionalFileRequestCount(size_t index) const;
  std::vector<TestHttpServer::Request> GetPrefOverridesRequests() const;
  // The bodies of the statistics reports, in the order they came.
  std::vector<std::string> GetStatsReports() const;

  TestHttpServer& http() { return http_; }

 private:
  // Publishes the responses made from the settings.
  void Update();
  std::string MakeDownloadUrlReply() const;
  std::vector<TestHttpServer::Request> GetRequestsFor(const std::string& path) const;

  TestHttpServer http_;
  std::string package_content_;
  std::vector<AdditionalFile> additional_files_;
  std::string welcome_url_;
  std::string custom_reply_;
  bool wrong_checksum_ = false;
  TestHttpServer::Response download_url_response_;
  TestHttpServer::Response package_response_;
  TestHttpServer::Response pref_overrides_response_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_AUTOUPDATE_SERVER_H_
