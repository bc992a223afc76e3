#include "desktop/windows/crash_reporter/crash_upload.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/crash_log_zip.h"
#include "desktop/windows/crash_reporter/crash_servers.h"
#include "desktop/windows/crash_reporter/pending_work_counter.h"
#include "desktop/windows/crash_reporter/quillbox/util/net/http_body_gzip.h"
#include "desktop/windows/crash_reporter/quillbox/util/net/http_multipart_builder.h"
#include "desktop/windows/crash_reporter/quillbox/util/net/http_transport.h"
#include "desktop/windows/crash_reporter/win_inet_uploader.h"

namespace crash_reporter {

namespace {

void DeleteCrashFile(const base::FilePath& path) {
  if (!base::DeletePath(path, false))
    PLOG(ERROR) << "Cannot delete crash file " << path;
}

DWORD WINAPI RunQueuedUpload(void* context) {
  std::unique_ptr<CrashUpload> upload(static_cast<CrashUpload*>(context));
  upload->Run();
  upload.reset();
  PendingWorkCounter::Get().Decrement();
  return 0;
}

bool QueueUpload(std::unique_ptr<CrashUpload> upload) {
  PendingWorkCounter& counter = PendingWorkCounter::Get();
  counter.Increment();
  if (::QueueUserWorkItem(&RunQueuedUpload, upload.get(), WT_EXECUTELONGFUNCTION)) {
    upload.release();
    return true;
  }
  PLOG(ERROR) << "Cannot queue a crash upload";
  upload.reset();
  counter.Decrement();
  return false;
}

bool RunUpload(std::unique_ptr<CrashUpload> upload) {
  return upload->Run();
}

}  // namespace

CrashUpload::CrashUpload(const base::FilePath& path,
                         bool delete_file,
                         const UploadParameters& parameters,
                         bool compress)
    : path_(path), delete_file_(delete_file), parameters_(parameters), compress_(compress) {}

CrashUpload::~CrashUpload() {
  if (delete_file_)
    DeleteCrashFile(path_);
}

bool TextLogUpload::Run() {
  base::FilePath sent = path_;
  if (compress_) {
    sent = path_.ReplaceExtension(L".zip");
    if (!ZipCrashLog(path_, sent))
      return false;
  }
  const bool uploaded =
      WinInetUploader::Upload(GetUserAgentSuffix(), GetCrashServerUrl(), parameters_,
                              {{L"file", sent.value()}}, std::nullopt, nullptr, nullptr);
  if (compress_)
    DeleteCrashFile(sent);
  LOG(INFO) << "Upload of " << path_ << (uploaded ? " succeeded" : " failed");
  return uploaded;
}

bool MinidumpUpload::Run() {
  quillbox::HttpMultipartBuilder builder;
  for (const auto& [name, value] : parameters_)
    builder.SetFormData(base::Utf16ToUtf8(name), base::Utf16ToUtf8(value));
  builder.SetFileAttachment("upload_file_minidump", path_.BaseName().ToUtf8(), path_,
                            "application/octet-stream");
  std::unique_ptr<quillbox::HttpBodyStream> body = builder.GetBodyStream();
  if (compress_) {
    auto gzip = std::make_unique<quillbox::GzipHttpBodyStream>(std::move(body));
    if (!gzip->Initialize())
      return false;
    body = std::move(gzip);
  }
  std::unique_ptr<quillbox::HttpTransport> transport = quillbox::HttpTransport::Create();
  transport->SetMethod("POST");
  transport->SetBodyStream(std::move(body));
  transport->SetURL(base::Utf16ToUtf8(GetAlternativeCrashServerUrl()));
  if (compress_)
    transport->SetHeader("Content-Encoding", "gzip");
  quillbox::HTTPHeaders content_headers;
  builder.PopulateContentHeaders(&content_headers);
  for (const auto& [name, value] : content_headers)
    transport->SetHeader(name, value);
  const bool uploaded = transport->ExecuteSynchronously(nullptr);
  LOG(INFO) << "Upload of " << path_ << (uploaded ? " succeeded" : " failed");
  return uploaded;
}

bool UploadTextLogAsync(const base::FilePath& path,
                        const UploadParameters& parameters,
                        bool delete_file) {
  return QueueUpload(std::make_unique<TextLogUpload>(path, delete_file, parameters, true));
}

bool UploadMinidumpAsync(const base::FilePath& path,
                         const UploadParameters& parameters,
                         bool delete_file) {
  return QueueUpload(std::make_unique<MinidumpUpload>(path, delete_file, parameters, true));
}

bool UploadTextLog(const base::FilePath& path, const UploadParameters& parameters, bool compress) {
  return RunUpload(std::make_unique<TextLogUpload>(path, true, parameters, compress));
}

bool UploadMinidump(const base::FilePath& path, const UploadParameters& parameters, bool compress) {
  return RunUpload(std::make_unique<MinidumpUpload>(path, true, parameters, compress));
}

}  // namespace crash_reporter
