#include "desktop/windows/installer/test/autoupdate_server.h"

#include <memory>
#include <utility>

#include "base/files/file_util.h"
#include "base/json/json_writer.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/test/content_hash.h"

namespace installer {
namespace test {

namespace {

constexpr char kPackagePath[] = "/packages/tavro_installer.exe";
constexpr char kAdditionalFilesPath[] = "/components/";
constexpr char kPrefOverridesPath[] = "/api/prefs/";
constexpr char kStatsPath[] = "/divedazaveve/feedback";
constexpr int kNeverMs = 24 * 60 * 60 * 1000;

std::string DownloadUrlPath(bool x64) {
  return "/divedazaveve/" + ProductInfo::GetStream() + (x64 ? "/windows/x64/" : "");
}

std::string AdditionalFilePath(size_t index, const AutoupdateServer::AdditionalFile& file) {
  return kAdditionalFilesPath + std::to_string(index) + "_" + file.type +
         (file.archive ? "_sfx.exe" : "");
}

}  // namespace

AutoupdateServer::AutoupdateServer() {
  download_url_response_.headers.push_back({"Content-Type", "application/json"});
  package_response_.honour_range = true;
  pref_overrides_response_.headers.push_back({"Content-Type", "application/json"});
  pref_overrides_response_.body = "{\"browser\": {\"show_home_button\": true}}";
}

AutoupdateServer::~AutoupdateServer() = default;

bool AutoupdateServer::Start() {
  if (!http_.Start())
    return false;
  TestHttpServer::Response stats;
  stats.body = "ok";
  http_.SetResponse(kStatsPath, stats);
  Update();
  return true;
}

void AutoupdateServer::Stop() {
  http_.Stop();
}

std::string AutoupdateServer::GetBaseUrl() const {
  return base::StringPrintf("http://127.0.0.1:%d/", http_.port());
}

std::wstring AutoupdateServer::GetDownloadUrlRequestUrl(bool x64) const {
  return http_.GetUrl(DownloadUrlPath(x64));
}

std::wstring AutoupdateServer::GetPrefOverridesUrl() const {
  return http_.GetUrl(std::string(kPrefOverridesPath) + "?product=" +
                      ProductInfo::GetProductName() + "&version=" + ProductInfo::GetVersion());
}

std::wstring AutoupdateServer::GetPackageUrl() const {
  return http_.GetUrl(kPackagePath);
}

bool AutoupdateServer::SetPackage(const base::FilePath& package_installer) {
  std::string content;
  if (!base::ReadFileToString(package_installer, &content))
    return false;
  SetPackageContent(content);
  return true;
}

void AutoupdateServer::SetPackageContent(const std::string& content) {
  package_content_ = content;
  Update();
}

void AutoupdateServer::AddAdditionalFile(const AdditionalFile& file) {
  additional_files_.push_back(file);
  Update();
}

void AutoupdateServer::SetWelcomeUrl(const std::string& url) {
  welcome_url_ = url;
  Update();
}

void AutoupdateServer::SetPrefOverrides(const std::string& body) {
  pref_overrides_response_.body = body;
  Update();
}

void AutoupdateServer::SetDownloadUrlReply(const std::string& body) {
  custom_reply_ = body;
  Update();
}

void AutoupdateServer::FailDownloadUrlRequests(int count, int status) {
  download_url_response_.fail_count = count;
  download_url_response_.fail_status = status;
  Update();
}

void AutoupdateServer::RedirectDownloadUrlRequests(const std::string& url, int status) {
  download_url_response_.redirect_to = url;
  download_url_response_.redirect_status = status;
  Update();
}

void AutoupdateServer::PadDownloadUrlReplies(int64_t bytes) {
  download_url_response_.padding_bytes = bytes;
  Update();
}

void AutoupdateServer::FailPackageDownloads(int count, int status) {
  package_response_.fail_count = count;
  package_response_.fail_status = status;
  Update();
}

void AutoupdateServer::CutPackageDownloads(int64_t bytes, int count) {
  package_response_.drop_after_bytes = bytes;
  package_response_.drop_count = count;
  Update();
}

void AutoupdateServer::StallPackageDownloads() {
  package_response_.delay_ms = kNeverMs;
  Update();
}

void AutoupdateServer::RedirectPackageDownloads(const std::string& url) {
  package_response_.redirect_to = url;
  Update();
}

void AutoupdateServer::TricklePackageDownloads(int interval_ms, int bytes) {
  package_response_.trickle_bytes = bytes;
  package_response_.trickle_ms = interval_ms;
  Update();
}

void AutoupdateServer::SendEndlessPackages() {
  package_response_.endless = true;
  Update();
}

void AutoupdateServer::SetWrongPackageChecksum(bool wrong) {
  wrong_checksum_ = wrong;
  Update();
}

void AutoupdateServer::ClearFailures() {
  for (TestHttpServer::Response* response :
       {&download_url_response_, &package_response_, &pref_overrides_response_}) {
    const TestHttpServer::Response fresh;
    response->fail_count = fresh.fail_count;
    response->redirect_to.clear();
    response->drop_after_bytes = fresh.drop_after_bytes;
    response->delay_ms = fresh.delay_ms;
    response->padding_bytes = fresh.padding_bytes;
    response->endless = fresh.endless;
    response->trickle_ms = fresh.trickle_ms;
  }
  custom_reply_.clear();
  wrong_checksum_ = false;
  Update();
}

std::vector<TestHttpServer::Request> AutoupdateServer::GetDownloadUrlRequests() const {
  std::vector<TestHttpServer::Request> requests = GetRequestsFor(DownloadUrlPath(false));
  for (TestHttpServer::Request& request : GetRequestsFor(DownloadUrlPath(true)))
    requests.push_back(std::move(request));
  return requests;
}

int AutoupdateServer::GetPackageDownloadCount() const {
  return http_.GetRequestCount(kPackagePath);
}

int AutoupdateServer::GetAdditionalFileRequestCount(size_t index) const {
  return index < additional_files_.size()
             ? http_.GetRequestCount(AdditionalFilePath(index, additional_files_[index]))
             : 0;
}

std::vector<TestHttpServer::Request> AutoupdateServer::GetPrefOverridesRequests() const {
  return GetRequestsFor(kPrefOverridesPath);
}

std::vector<std::string> AutoupdateServer::GetStatsReports() const {
  std::vector<std::string> reports;
  for (const TestHttpServer::Request& request : GetRequestsFor(kStatsPath))
    reports.push_back(request.body);
  return reports;
}

std::vector<TestHttpServer::Request> AutoupdateServer::GetRequestsFor(
    const std::string& path) const {
  std::vector<TestHttpServer::Request> matching;
  for (TestHttpServer::Request& request : http_.GetRequests()) {
    if (request.path.substr(0, request.path.find('?')) == path)
      matching.push_back(std::move(request));
  }
  return matching;
}

std::string AutoupdateServer::MakeDownloadUrlReply() const {
  base::DictionaryValue reply;
  reply.SetString("installer", base::Utf16ToUtf8(GetPackageUrl()));
  std::string checksum = Sha256Hex(package_content_);
  if (wrong_checksum_)
    checksum = Sha256Hex(package_content_ + "tampered");
  reply.SetString("installer_checksum", checksum);
  auto components = std::make_unique<base::ListValue>();
  for (size_t i = 0; i < additional_files_.size(); ++i) {
    const AdditionalFile& file = additional_files_[i];
    auto entry = std::make_unique<base::DictionaryValue>();
    entry->SetString("location", base::Utf16ToUtf8(http_.GetUrl(AdditionalFilePath(i, file))));
    entry->SetString("type", file.type);
    entry->SetInteger("archive", file.archive ? 1 : 0);
    entry->SetString("checksum", Sha256Hex(file.content));
    if (!file.filename.empty())
      entry->SetString("filename", file.filename);
    components->Append(std::move(entry));
  }
  reply.Set("components", std::move(components));
  if (!welcome_url_.empty())
    reply.SetString("url_welcome", welcome_url_);
  std::string json;
  base::JsonWriter::Write(reply, &json);
  return json;
}

void AutoupdateServer::Update() {
  if (http_.port() == 0)
    return;
  TestHttpServer::Response reply = download_url_response_;
  reply.body = custom_reply_.empty() ? MakeDownloadUrlReply() : custom_reply_;
  http_.SetResponse(DownloadUrlPath(false), reply);
  http_.SetResponse(DownloadUrlPath(true), reply);

  TestHttpServer::Response package = package_response_;
  package.body = package_content_;
  http_.SetResponse(kPackagePath, package);

  for (size_t i = 0; i < additional_files_.size(); ++i) {
    TestHttpServer::Response file;
    file.honour_range = true;
    file.body = additional_files_[i].content;
    file.fail_count = additional_files_[i].fail_count;
    file.fail_status = additional_files_[i].fail_status;
    file.pause_after_bytes = static_cast<int64_t>(file.body.size() / 2);
    file.pause_ms = additional_files_[i].pause_ms;
    if (additional_files_[i].stall)
      file.delay_ms = kNeverMs;
    http_.SetResponse(AdditionalFilePath(i, additional_files_[i]), file);
  }
  http_.SetResponse(kPrefOverridesPath, pref_overrides_response_);
}

}  // namespace test
}  // namespace installer
