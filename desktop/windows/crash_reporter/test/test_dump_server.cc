#include "desktop/windows/crash_reporter/test/test_dump_server.h"

#include "desktop/windows/crash_reporter/test/granted_access.h"

namespace crash_reporter {
namespace test {

std::wstring DumpRequest::FindValue(const wchar_t* name) const {
  for (const CustomInfoEntry& entry : entries) {
    if (wcscmp(entry.name, name) == 0)
      return entry.value;
  }
  return std::wstring();
}

TestDumpServer::TestDumpServer(const std::wstring& dump_folder, const std::wstring& pipe_name)
    : pipe_name_(pipe_name.empty() ? MakeCrashPipeName(::GetCurrentProcessId()) : pipe_name),
      dump_folder_(dump_folder),
      changed_(base::WaitEvent::ResetPolicy::AUTOMATIC,
               base::WaitEvent::InitialState::NOT_SIGNALED) {}

TestDumpServer::~TestDumpServer() {
  server_.reset();
}

void TestDumpServer::SetLimits(size_t pipe_instances, size_t max_clients) {
  pipe_instances_ = pipe_instances;
  max_clients_ = max_clients;
}

void TestDumpServer::SetStartHook(void (*hook)(const std::wstring& pipe_name)) {
  start_hook_ = hook;
}

bool TestDumpServer::Start() {
  server_ = std::make_unique<CrashDumpServer>(pipe_name_, nullptr, &OnConnect, this, &OnDump, this,
                                              &OnExit, this, &OnUpload, this, !dump_folder_.empty(),
                                              &dump_folder_);
  server_->SetLimitsForTesting(pipe_instances_, max_clients_);
  server_->SetStartHookForTesting(start_hook_);
  return server_->Start();
}

void TestDumpServer::Changed() {
  changed_.Signal();
}

bool TestDumpServer::WaitFor(const std::function<bool()>& condition, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    {
      base::AutoLock hold(lock_);
      if (condition())
        return true;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline)
      return false;
    changed_.TimedWait(base::TimeDelta::FromMilliseconds(static_cast<int64_t>(deadline - now)));
  }
}

bool TestDumpServer::WaitForConnections(size_t count, DWORD timeout_ms) {
  return WaitFor([&] { return connected_pids_.size() >= count; }, timeout_ms);
}

bool TestDumpServer::WaitForDumpRequests(size_t count, DWORD timeout_ms) {
  return WaitFor([&] { return dump_requests_.size() >= count; }, timeout_ms);
}

bool TestDumpServer::WaitForExits(size_t count, DWORD timeout_ms) {
  return WaitFor([&] { return exited_pids_.size() >= count; }, timeout_ms);
}

std::vector<DWORD> TestDumpServer::connected_pids() {
  base::AutoLock hold(lock_);
  return connected_pids_;
}

std::vector<DumpRequest> TestDumpServer::dump_requests() {
  base::AutoLock hold(lock_);
  return dump_requests_;
}

std::vector<DWORD> TestDumpServer::exited_pids() {
  base::AutoLock hold(lock_);
  return exited_pids_;
}

std::vector<DWORD> TestDumpServer::upload_pids() {
  base::AutoLock hold(lock_);
  return upload_pids_;
}

// static
void TestDumpServer::OnConnect(void* context, CrashClientRecord* client) {
  TestDumpServer* self = static_cast<TestDumpServer*>(context);
  base::AutoLock hold(self->lock_);
  self->connected_pids_.push_back(client->pid());
  self->Changed();
}

// static
void TestDumpServer::OnDump(void* context,
                            CrashClientRecord* client,
                            const std::wstring* dump_path) {
  TestDumpServer* self = static_cast<TestDumpServer*>(context);
  DumpRequest request;
  request.pid = client->pid();
  const CustomClientInfo info = client->GetCustomInfo();
  request.entries.assign(info.entries, info.entries + info.count);
  if (dump_path)
    request.dump_path = *dump_path;
  request.request_event_reset =
      ::WaitForSingleObject(client->dump_requested_event(), 0) == WAIT_TIMEOUT;
  request.process_access = GetGrantedAccess(client->process_handle());
  base::AutoLock hold(self->lock_);
  self->dump_requests_.push_back(std::move(request));
  self->Changed();
}

// static
void TestDumpServer::OnExit(void* context, CrashClientRecord* client) {
  TestDumpServer* self = static_cast<TestDumpServer*>(context);
  base::AutoLock hold(self->lock_);
  self->exited_pids_.push_back(client->pid());
  self->Changed();
}

// static
void TestDumpServer::OnUpload(void* context, DWORD pid) {
  TestDumpServer* self = static_cast<TestDumpServer*>(context);
  base::AutoLock hold(self->lock_);
  self->upload_pids_.push_back(pid);
  self->Changed();
}

}  // namespace test
}  // namespace crash_reporter
