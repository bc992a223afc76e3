#include "desktop/windows/crash_reporter/crash_dump_server.h"

#include <windows.h>
#include <sddl.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/environment.h"
#include "base/files/file_enumerator.h"
#include "base/files/scoped_temp_dir.h"
#include "base/logging.h"
#include "base/process/process.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/test/scoped_log_capture.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"
#include "desktop/windows/crash_reporter/crash_dump_client.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"
#include "desktop/windows/crash_reporter/test/granted_access.h"
#include "desktop/windows/crash_reporter/test/minidump_reader.h"
#include "desktop/windows/crash_reporter/test/raw_pipe_client.h"
#include "desktop/windows/crash_reporter/test/test_dump_server.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

using test::RawPipeClient;

constexpr DWORD kTimeoutMs = 30000;

uint64_t AddressOf(const void* pointer) {
  return reinterpret_cast<uintptr_t>(pointer);
}

// What a client keeps in its memory for the server to read.
struct ClientCrashFields {
  DWORD thread_id = 0;
  EXCEPTION_POINTERS* exception_pointers = nullptr;
  AssertionInfo assertion = {};
};

ProtocolMessage MakeRegistration(const ClientCrashFields& fields,
                                 const CustomInfoEntry* entries,
                                 uint64_t count) {
  ProtocolMessage request = {};
  request.tag = MESSAGE_TAG_REGISTRATION_REQUEST;
  request.id = ::GetCurrentProcessId();
  request.dump_type = MiniDumpNormal;
  request.thread_id_address = AddressOf(&fields.thread_id);
  request.exception_pointers_address = AddressOf(&fields.exception_pointers);
  request.assertion_address = AddressOf(&fields.assertion);
  request.custom_info_entries_address = AddressOf(entries);
  request.custom_info_count = count;
  return request;
}

// The handles a registration response placed in this process.
struct ResponseHandles {
  base::win::ScopedHandle dump_requested;
  base::win::ScopedHandle dump_generated;
  base::win::ScopedHandle server_alive;
};

// Registers through |client| and acknowledges.
bool Register(RawPipeClient* client,
              const ProtocolMessage& request,
              ProtocolMessage* reply,
              ResponseHandles* handles) {
  if (!client->Exchange(request, reply) || reply->tag != MESSAGE_TAG_REGISTRATION_RESPONSE)
    return false;
  handles->dump_requested.Set(reinterpret_cast<HANDLE>(reply->dump_requested_handle));
  handles->dump_generated.Set(reinterpret_cast<HANDLE>(reply->dump_generated_handle));
  handles->server_alive.Set(reinterpret_cast<HANDLE>(reply->server_alive_handle));
  // The server may already have disconnected when the write completes: it took the
  // acknowledgement and went on.
  ProtocolMessage ack = {};
  ack.tag = MESSAGE_TAG_REGISTRATION_ACK;
  client->Write(&ack, sizeof(ack));
  return true;
}

// Has the server handle one dump request of a registered client and waits for its answer.
bool RequestDump(const ResponseHandles& handles) {
  return ::ResetEvent(handles.dump_generated.Get()) && ::SetEvent(handles.dump_requested.Get()) &&
         ::WaitForSingleObject(handles.dump_generated.Get(), kTimeoutMs) == WAIT_OBJECT_0;
}

TEST(CrashDumpServerTest, RegistersAClientByteForByteAndWritesItsDump) {
  base::ScopedTempDir dumps;
  ASSERT_TRUE(dumps.CreateUniqueTempDir());
  test::TestDumpServer server(dumps.GetPath().value(), L"\\\\.\\pipe\\TavroCrashTest.bytes");
  ASSERT_TRUE(server.Start());
  ClientCrashFields fields;
  // The second entry fills its name and value to the last unit: the server cuts both. The
  // third claims an uptime: the server's own measure wins.
  CustomInfoEntry entries[3] = {};
  wcscpy(entries[0].name, L"process_type");
  wcscpy(entries[0].value, L"installer");
  wmemset(entries[1].name, L'n', CustomInfoEntry::kNameLength);
  wmemset(entries[1].value, L'v', CustomInfoEntry::kValueLength);
  wcscpy(entries[2].name, L"ptime");
  wcscpy(entries[2].value, L"9223372036854775807");
  const ProtocolMessage request = MakeRegistration(fields, entries, 3);

  RawPipeClient client;
  ASSERT_TRUE(client.Connect(server.pipe_name()));
  ProtocolMessage reply;
  ResponseHandles handles;
  ASSERT_TRUE(Register(&client, request, &reply, &handles));
  EXPECT_EQ(2u, reply.tag);
  EXPECT_EQ(::GetCurrentProcessId(), reply.id);
  ProtocolMessage expected_rest = {};
  expected_rest.tag = reply.tag;
  expected_rest.id = reply.id;
  expected_rest.dump_requested_handle = reply.dump_requested_handle;
  expected_rest.dump_generated_handle = reply.dump_generated_handle;
  expected_rest.server_alive_handle = reply.server_alive_handle;
  EXPECT_EQ(0, memcmp(&expected_rest, &reply, sizeof(reply)));
  // Each handle carries only the access the client needs.
  EXPECT_EQ(static_cast<ACCESS_MASK>(EVENT_MODIFY_STATE),
            test::GetGrantedAccess(handles.dump_requested.Get()));
  EXPECT_EQ(static_cast<ACCESS_MASK>(SYNCHRONIZE | EVENT_MODIFY_STATE),
            test::GetGrantedAccess(handles.dump_generated.Get()));
  EXPECT_EQ(static_cast<ACCESS_MASK>(SYNCHRONIZE),
            test::GetGrantedAccess(handles.server_alive.Get()));
  ASSERT_TRUE(server.WaitForConnections(1, kTimeoutMs));
  EXPECT_EQ(std::vector<DWORD>{::GetCurrentProcessId()}, server.connected_pids());

  // A "crash" of this process, described as the client's crash handler would.
  CONTEXT context;
  ::RtlCaptureContext(&context);
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = 0xE0000001;
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  EXCEPTION_POINTERS pointers = {&record, &context};
  fields.thread_id = ::GetCurrentThreadId();
  fields.exception_pointers = &pointers;
  wcscpy(fields.assertion.expression, L"count > 0");
  fields.assertion.line = 42;
  fields.assertion.type = ASSERTION_INVALID_PARAMETER;
  ASSERT_TRUE(RequestDump(handles));

  const std::vector<test::DumpRequest> requests = server.dump_requests();
  ASSERT_EQ(1u, requests.size());
  const test::DumpRequest& dump = requests[0];
  EXPECT_EQ(::GetCurrentProcessId(), dump.pid);
  // The client is held with what a dump needs and no more (the system adds the limited
  // query right to the full one).
  EXPECT_EQ(static_cast<ACCESS_MASK>(SYNCHRONIZE | PROCESS_QUERY_INFORMATION |
                                     PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ |
                                     PROCESS_DUP_HANDLE),
            dump.process_access);
  // The request was cleared before the client was told its dump is done.
  EXPECT_TRUE(dump.request_event_reset);
  ASSERT_EQ(4u, dump.entries.size());
  EXPECT_EQ(L"installer", dump.FindValue(L"process_type"));
  EXPECT_EQ(std::wstring(63, L'n'), dump.entries[1].name);
  EXPECT_EQ(std::wstring(63, L'v'), dump.entries[1].value);
  EXPECT_STREQ(L"", dump.entries[2].name);
  EXPECT_STREQ(L"ptime", dump.entries[3].name);
  const std::wstring uptime = dump.FindValue(L"ptime");
  EXPECT_NE(L"", uptime);
  EXPECT_LT(uptime.size(), 10u) << uptime;

  test::MinidumpReader reader;
  ASSERT_TRUE(reader.Open(base::FilePath(dump.dump_path)));
  EXPECT_EQ(dumps.GetPath().value(), base::FilePath(dump.dump_path).DirName().value());
  MINIDUMP_EXCEPTION_STREAM exception;
  ASSERT_TRUE(reader.GetException(&exception));
  EXPECT_EQ(0xE0000001u, exception.ExceptionRecord.ExceptionCode);
  EXPECT_EQ(::GetCurrentThreadId(), exception.ThreadId);
  // The server writes from outside the client: no thread ids of its own to report.
  RequesterStream requester;
  ASSERT_TRUE(reader.GetStreamAs(kRequesterStreamType, &requester));
  EXPECT_EQ(0u, requester.validity);
  EXPECT_EQ(0u, requester.dump_thread_id);
  EXPECT_EQ(0u, requester.requesting_thread_id);
  AssertionInfo assertion;
  ASSERT_TRUE(reader.GetStreamAs(kAssertionStreamType, &assertion));
  EXPECT_EQ(0, memcmp(&fields.assertion, &assertion, sizeof(assertion)));
  EXPECT_TRUE(reader.HasStream(ThreadListStream));
  EXPECT_TRUE(reader.HasStream(ModuleListStream));
  // Not a crash on an invalid handle.
  EXPECT_FALSE(reader.HasStream(HandleOperationListStream));
}

TEST(CrashDumpServerTest, CustomEntriesThatCannotBeReadOrAreTooManyAreNotHandedOn) {
  test::TestDumpServer server(std::wstring(), L"\\\\.\\pipe\\TavroCrashTest.custom");
  ASSERT_TRUE(server.Start());
  ClientCrashFields fields;
  // Entries at an address that is never mapped. (Wine reads reserved and PAGE_NOACCESS
  // pages as if committed, so a read cut short by them cannot be arranged there.)
  const CustomInfoEntry* unreadable = reinterpret_cast<const CustomInfoEntry*>(0x10);
  CustomInfoEntry entry = {};
  const ProtocolMessage requests[] = {MakeRegistration(fields, unreadable, 2),
                                      MakeRegistration(fields, &entry, 4097)};
  for (const ProtocolMessage& request : requests) {
    RawPipeClient client;
    ASSERT_TRUE(client.Connect(server.pipe_name()));
    ProtocolMessage reply;
    ResponseHandles handles;
    ASSERT_TRUE(Register(&client, request, &reply, &handles));
    ASSERT_TRUE(RequestDump(handles));
  }

  // Both requests are still answered, without entries.
  const std::vector<test::DumpRequest> dumps = server.dump_requests();
  ASSERT_EQ(2u, dumps.size());
  for (const test::DumpRequest& dump : dumps) {
    EXPECT_TRUE(dump.entries.empty());
    EXPECT_TRUE(dump.dump_path.empty());
  }
}

TEST(CrashDumpServerTest, DumpRequestsAreBoundedPerClientAndInAll) {
  test::TestDumpServer server(std::wstring(), L"\\\\.\\pipe\\TavroCrashTest.requests");
  ASSERT_TRUE(server.Start());
  ClientCrashFields fields;
  constexpr size_t kPerClient = CrashDumpServer::kMaxDumpRequestsPerClient;
  constexpr size_t kInAll = CrashDumpServer::kMaxDumpRequests;
  // Each registration of this process is a new record. Every request is answered; those
  // over a bound reach no callback.
  for (size_t i = 1; i <= kInAll / kPerClient + 1; ++i) {
    RawPipeClient client;
    ASSERT_TRUE(client.Connect(server.pipe_name()));
    ProtocolMessage reply;
    ResponseHandles handles;
    ASSERT_TRUE(Register(&client, MakeRegistration(fields, nullptr, 0), &reply, &handles));
    for (size_t j = 0; j <= kPerClient; ++j)
      ASSERT_TRUE(RequestDump(handles)) << i << " " << j;
    EXPECT_EQ(std::min(i * kPerClient, kInAll), server.dump_requests().size()) << i;
  }
}

TEST(CrashDumpServerTest, DISABLED_WaitsToBeEnded) {
  if (base::test::IsChildTest())
    ::Sleep(kTimeoutMs);
}

TEST(CrashDumpServerTest, RefusesHostileClientsAndKeepsServing) {
  test::TestDumpServer server(std::wstring(), L"\\\\.\\pipe\\TavroCrashTest.hostile");
  ASSERT_TRUE(server.Start());
  ClientCrashFields fields;
  size_t registered = 0;
  // A well-formed registration still gets through after each hostile client.
  auto expect_serving = [&] {
    RawPipeClient client;
    ProtocolMessage reply;
    ResponseHandles handles;
    ASSERT_TRUE(client.Connect(server.pipe_name()));
    ASSERT_TRUE(Register(&client, MakeRegistration(fields, nullptr, 0), &reply, &handles));
    ASSERT_TRUE(server.WaitForConnections(++registered, kTimeoutMs));
    ASSERT_TRUE(client.WaitForDisconnect());
  };

  // Messages that are not one protocol message.
  std::string random(sizeof(ProtocolMessage), '\0');
  for (char& byte : random)
    byte = static_cast<char>(base::RandInt(0, 255));
  const ProtocolMessage valid = MakeRegistration(fields, nullptr, 0);
  const std::string truncated(reinterpret_cast<const char*>(&valid), 40);
  std::string oversized(reinterpret_cast<const char*>(&valid), sizeof(valid));
  oversized.append(120, 'x');
  for (const std::string& message : {random, truncated, oversized}) {
    RawPipeClient client;
    ASSERT_TRUE(client.Connect(server.pipe_name()));
    // The server may drop the connection before the write is reported done.
    client.Write(message.data(), message.size());
    EXPECT_TRUE(client.WaitForDisconnect());
    expect_serving();
  }

  // Registrations the server must not accept: another process's id, which would have that
  // process dumped, and a missing assertion address.
  base::Process other = base::test::StartChildTest("CrashDumpServerTest.DISABLED_WaitsToBeEnded");
  ASSERT_TRUE(other.IsValid());
  ProtocolMessage impostor = valid;
  impostor.id = other.Pid();
  ProtocolMessage no_assertion = valid;
  no_assertion.assertion_address = 0;
  for (const ProtocolMessage& request : {impostor, no_assertion}) {
    RawPipeClient client;
    ASSERT_TRUE(client.Connect(server.pipe_name()));
    client.Write(&request, sizeof(request));
    EXPECT_TRUE(client.WaitForDisconnect());
    expect_serving();
  }
  other.Terminate(0);

  // A client that connects and says nothing is dropped instead of holding the pipe.
  RawPipeClient silent;
  ASSERT_TRUE(silent.Connect(server.pipe_name()));
  EXPECT_TRUE(silent.WaitForDisconnect());
  expect_serving();

  EXPECT_EQ(registered, server.connected_pids().size());
  EXPECT_TRUE(server.dump_requests().empty());
}

// Registers through a fresh connection, which it leaves once the server is done with it; a
// registration the server refuses fails.
bool RegisterOnce(const std::wstring& pipe_name, const ClientCrashFields& fields) {
  RawPipeClient client;
  ProtocolMessage reply;
  ResponseHandles handles;
  return client.Connect(pipe_name) &&
         Register(&client, MakeRegistration(fields, nullptr, 0), &reply, &handles) &&
         client.WaitForDisconnect();
}

constexpr wchar_t kBoundedPipe[] = L"\\\\.\\pipe\\TavroCrashTest.bounded";
// The process id of the server, for the child that registers with it.
constexpr char kServerPidVariable[] = "TAVRO_TEST_CRASH_SERVER_PID";

// Exits with 0 when the server registered it, 3 when not.
TEST(CrashDumpServerTest, DISABLED_RegistersWithTheBoundedServer) {
  if (!base::test::IsChildTest())
    return;
  std::string variable;
  unsigned server_pid = 0;
  base::Environment::Create()->GetVar(kServerPidVariable, &variable);
  base::StringToUint(variable, &server_pid);
  CrashDumpClient client(kBoundedPipe, server_pid, MiniDumpNormal, nullptr);
  ::ExitProcess(client.Register() ? 0 : 3);
}

TEST(CrashDumpServerTest, RecordsAreOnePerProcessAndBoundedInNumber) {
  test::TestDumpServer server(std::wstring(), kBoundedPipe);
  server.SetLimits(CrashDumpServer::kPipeInstances, 1);
  ASSERT_TRUE(server.Start());
  // Each registration of this process replaces its record: the one record allowed holds.
  ClientCrashFields fields;
  for (size_t i = 1; i <= 20; ++i) {
    ASSERT_TRUE(RegisterOnce(server.pipe_name(), fields)) << i;
    ASSERT_TRUE(server.WaitForConnections(i, kTimeoutMs));
  }
  // Another process finds no room, and the server goes on serving.
  base::LaunchOptions child_options;
  child_options.environment = {
      {base::AsciiToUtf16(kServerPidVariable), std::to_wstring(::GetCurrentProcessId())}};
  const base::test::ChildTestResult other = base::test::RunChildTest(
      "CrashDumpServerTest.DISABLED_RegistersWithTheBoundedServer", child_options);
  EXPECT_TRUE(other.started);
  EXPECT_EQ(3u, other.exit_code) << other.output;
  ASSERT_TRUE(RegisterOnce(server.pipe_name(), fields));
  ASSERT_TRUE(server.WaitForConnections(21, kTimeoutMs));
  EXPECT_EQ(std::vector<DWORD>(21, ::GetCurrentProcessId()), server.connected_pids());
}

bool g_client_came_and_went = false;

void ConnectAndLeave(const std::wstring& pipe_name) {
  base::win::ScopedHandle client(::CreateFileW(pipe_name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                               0, nullptr, OPEN_EXISTING, 0, nullptr));
  g_client_came_and_went = client.IsValid();
}

// The only pipe instance finds, when it first listens, a client that connected and left
// meanwhile (ERROR_NO_DATA): it listens again and serves the next clients.
TEST(CrashDumpServerTest, AClientGoneBeforeTheServerListensDoesNotEndServing) {
  test::TestDumpServer server(std::wstring(), L"\\\\.\\pipe\\TavroCrashTest.gone");
  server.SetLimits(1, CrashDumpServer::kMaxClients);
  server.SetStartHook(&ConnectAndLeave);
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(g_client_came_and_went);
  ClientCrashFields fields;
  for (size_t i = 1; i <= 2; ++i) {
    ASSERT_TRUE(RegisterOnce(server.pipe_name(), fields)) << i;
    ASSERT_TRUE(server.WaitForConnections(i, kTimeoutMs));
  }
}

TEST(CrashDumpServerTest, UploadRequestCallsTheUploadCallbackWithoutRegistering) {
  test::TestDumpServer server(std::wstring(), L"\\\\.\\pipe\\TavroCrashTest.upload");
  ASSERT_TRUE(server.Start());
  ProtocolMessage upload = {};
  upload.tag = MESSAGE_TAG_UPLOAD_REQUEST;
  upload.id = ::GetCurrentProcessId();
  RawPipeClient client;
  ASSERT_TRUE(client.Connect(server.pipe_name()));
  client.Write(&upload, sizeof(upload));
  EXPECT_TRUE(client.WaitForDisconnect());
  EXPECT_EQ(std::vector<DWORD>{::GetCurrentProcessId()}, server.upload_pids());
  EXPECT_TRUE(server.connected_pids().empty());
}

// The reporter labels its pipe so that low-integrity processes may open it. Wine keeps the
// label (and reads it back) but enforces no integrity levels.
TEST(CrashDumpServerTest, ServesAPipeWithTheLowIntegrityLabel) {
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"S:(ML;;NW;;;S-1-16-4096)", SDDL_REVISION_1, &raw_descriptor, nullptr));
  base::win::ScopedLocalAlloc descriptor(raw_descriptor);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL label = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorSacl(descriptor.Get(), &present, &label, &defaulted));
  ASSERT_TRUE(present && label);
  EXPECT_EQ(1, label->AceCount);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.Get(), FALSE};

  CrashDumpServer server(L"\\\\.\\pipe\\TavroCrashTest.label", &attributes, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, false, nullptr);
  ASSERT_TRUE(server.Start());
  RawPipeClient client;
  ASSERT_TRUE(client.Connect(L"\\\\.\\pipe\\TavroCrashTest.label"));
  ClientCrashFields fields;
  ProtocolMessage reply;
  ResponseHandles handles;
  EXPECT_TRUE(Register(&client, MakeRegistration(fields, nullptr, 0), &reply, &handles));
}

// Any process may make a pipe of the reporter's name first, to get what clients send: the
// server then serves nothing, and says why.
TEST(CrashDumpServerTest, APipeMadeFirstUnderItsNameStopsTheServer) {
  const wchar_t kPipe[] = L"\\\\.\\pipe\\TavroCrashTest.squatted";
  const base::win::ScopedHandle squatter(::CreateNamedPipeW(
      kPipe, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
      PIPE_UNLIMITED_INSTANCES, 256, 256, 0, nullptr));
  ASSERT_TRUE(squatter.IsValid());
  base::test::ScopedLogCapture log;
  CrashDumpServer server(kPipe, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, false, nullptr);
  EXPECT_FALSE(server.Start());
  EXPECT_TRUE(log.Logged(logging::LOG_ERROR,
                         "The crash pipe \\\\.\\pipe\\TavroCrashTest.squatted exists already, "
                         "made by another process: not serving"));
}

}  // namespace
}  // namespace crash_reporter
