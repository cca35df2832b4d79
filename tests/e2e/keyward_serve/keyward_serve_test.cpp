// Keyward.exe under Wine, driven through its pipe by the stand-in client.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include <nlohmann/json.hpp>

#include "common/win32/unique_handle.hpp"
#include "system/queries_win32.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane {
namespace {

using namespace std::chrono_literals;
using testing::Child;
using testing::RunResult;
using testing::TempDir;
using testing::widen;

const std::string hello = R"({"type":"hello","protocol":1})";

std::wstring unique_pipe_name() {
  static int counter = 0;
  return L"kw-e2e-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
}

RunResult client(const std::wstring& pipe, std::vector<std::wstring> steps,
                 const std::wstring& program = testing::bin_path(L"vorlane_client.exe")) {
  std::vector<std::wstring> args{L"--pipe", pipe};
  args.insert(args.end(), steps.begin(), steps.end());
  return testing::run(program, args, {}, 60s);
}

// Waits until the child's standard error holds `text`.
bool wait_for_err(const Child& child, const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (child.err().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

class TestMode : public ::testing::Test {
 protected:
  std::wstring pipe = unique_pipe_name();
  Child keyward;
  void SetUp() override {
    keyward = Child::start(testing::bin_path(L"Keyward.exe"), {L"--test-mode", L"--pipe", pipe});
  }
};

TEST_F(TestMode, HandshakeGatingStatusAndDisableThenReconnectWithControlOff) {
  const RunResult first = client(pipe, {widen(hello), LR"({"type":"key","code":"KeyA","down":true})",
                                        LR"({"type":"enable"})", LR"({"type":"key","code":"KeyA"})",
                                        LR"({"type":"status"})", LR"({"type":"Status"})",
                                        LR"({"type":"disable"})", L"@expect-close"});
  EXPECT_EQ(first.exit_code, 0u) << first.out;
  EXPECT_EQ(first.out,
            ">> " + hello + "\n"
            "<< {\"desktop\":\"Default\",\"elevated\":true,\"ok\":true,\"protocol\":1,\"session\":1}\n"
            ">> {\"type\":\"key\",\"code\":\"KeyA\",\"down\":true}\n"
            "<< {\"error\":\"控制尚未开启\",\"ok\":false}\n"
            ">> {\"type\":\"enable\"}\n<< {\"ok\":true}\n"
            ">> {\"type\":\"key\",\"code\":\"KeyA\"}\n<< {\"ok\":true}\n"
            ">> {\"type\":\"status\"}\n"
            "<< {\"control\":true,\"desktop\":\"Default\",\"elevated\":true,\"ok\":true}\n"
            ">> {\"type\":\"Status\"}\n<< {\"error\":\"不支持的输入请求\",\"ok\":false}\n"
            ">> {\"type\":\"disable\"}\n<< {\"ok\":true}\n"
            "<< [closed]\n");

  const RunResult second = client(pipe, {widen(hello), LR"({"type":"status"})", LR"({"type":"key"})"});
  EXPECT_EQ(second.exit_code, 0u) << second.out;
  EXPECT_NE(second.out.find("<< {\"control\":false,"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("<< {\"error\":\"控制尚未开启\",\"ok\":false}"), std::string::npos);
  EXPECT_EQ(keyward.err(), "");
}

struct MalformedCase {
  const char* name;
  std::wstring raw_hex;
};
void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class MalformedFrame : public TestMode, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedFrame, ClosesTheConnectionWithoutAReplyOrLogLine) {
  const RunResult result = client(pipe, {widen(hello), L"@raw " + GetParam().raw_hex, L"@expect-close"});
  EXPECT_EQ(result.exit_code, 0u) << result.out;
  EXPECT_TRUE(result.out.ends_with(" bytes]\n<< [closed]\n")) << result.out;
  // The helper is still there for the next client.
  EXPECT_EQ(client(pipe, {widen(hello)}).exit_code, 0u);
  EXPECT_EQ(keyward.err(), "");
}

INSTANTIATE_TEST_SUITE_P(Table, MalformedFrame,
                         ::testing::Values(MalformedCase{"not_json", L"7b7d20780a"},
                                           MalformedCase{"not_utf8", L"22ff220a"},
                                           MalformedCase{"byte_order_mark", L"efbbbf7b7d0a"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TestMode, SilentClientIsDroppedAfterFiveSecondsAndTheTimeoutLogged) {
  const RunResult result = client(pipe, {L"@expect-close"});
  EXPECT_EQ(result.exit_code, 0u) << result.out;
  EXPECT_EQ(result.out, "<< [closed]\n");
  ASSERT_TRUE(wait_for_err(keyward, "\n", 5s));
  EXPECT_EQ(keyward.err(), "Keyward: 客户端握手超时\n");
}

TEST_F(TestMode, BadHelloIsRefusedThenLogged) {
  const RunResult result = client(pipe, {LR"({"type":"hello","protocol":1.0})", L"@expect-close"});
  EXPECT_EQ(result.out, ">> {\"type\":\"hello\",\"protocol\":1.0}\n"
                        "<< {\"error\":\"不支持的输入助手协议\",\"ok\":false}\n<< [closed]\n");
  ASSERT_TRUE(wait_for_err(keyward, "\n", 5s));
  EXPECT_EQ(keyward.err(), "Keyward: 客户端协议无效\n");
}

// The last reply before a disconnect reaches a client that reads it only later.
TEST_F(TestMode, LastReplyBeforeTheDisconnectIsNotLostOnASlowReader) {
  const RunResult disabled =
      client(pipe, {L"--delay-read-ms", L"200", widen(hello), LR"({"type":"disable"})"});
  EXPECT_EQ(disabled.exit_code, 0u) << disabled.out;
  EXPECT_TRUE(disabled.out.ends_with(">> {\"type\":\"disable\"}\n<< {\"ok\":true}\n")) << disabled.out;

  const RunResult refused = client(pipe, {L"--delay-read-ms", L"200", LR"({"type":"status"})"});
  EXPECT_EQ(refused.exit_code, 0u) << refused.out;
  EXPECT_EQ(refused.out, ">> {\"type\":\"status\"}\n<< {\"error\":\"不支持的输入助手协议\",\"ok\":false}\n");
}

// Between two clients the name must never be free for another process to take.
TEST_F(TestMode, NoOtherProcessCanCreateThePipeNameWhileClientsComeAndGo) {
  ASSERT_EQ(client(pipe, {widen(hello)}).exit_code, 0u);  // the helper is up
  const std::wstring full_name = L"\\\\.\\pipe\\" + pipe;
  std::atomic<bool> stop{false};
  std::atomic<int> attempts{0}, taken{0};
  std::thread squatter([&] {
    while (!stop) {
      HANDLE h = ::CreateNamedPipeW(full_name.c_str(), PIPE_ACCESS_DUPLEX,
                                    PIPE_TYPE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0,
                                    nullptr);
      ++attempts;
      if (h != INVALID_HANDLE_VALUE) {
        ++taken;
        ::CloseHandle(h);
      }
    }
  });
  for (int i = 0; i < 6; ++i) {
    const RunResult result = client(pipe, {widen(hello), LR"({"type":"disable"})", L"@expect-close"});
    EXPECT_EQ(result.exit_code, 0u) << result.out;
  }
  stop = true;
  squatter.join();
  EXPECT_GT(attempts.load(), 0);
  EXPECT_EQ(taken.load(), 0);
  const RunResult last = client(pipe, {widen(hello)});
  EXPECT_NE(last.out.find("\"protocol\":1"), std::string::npos) << last.out;
}

TEST(TestModeStart, HeldPipeNameGivesTenAttemptsAndExitCodeOne) {
  const std::wstring pipe = unique_pipe_name();
  const std::wstring full_name = L"\\\\.\\pipe\\" + pipe;
  const win32::unique_handle holder(::CreateNamedPipeW(full_name.c_str(), PIPE_ACCESS_DUPLEX,
                                                       PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr));
  ASSERT_TRUE(holder);
  const RunResult result =
      testing::run(testing::bin_path(L"Keyward.exe"), {L"--test-mode", L"--pipe", full_name}, {}, 60s);
  EXPECT_EQ(result.exit_code, 1u);
  const auto lines = testing::lines(result.err);
  ASSERT_EQ(lines.size(), 9u) << result.err;
  for (const auto& line : lines) {
    EXPECT_EQ(line, "Keyward: 创建输入助手管道 失败（Win32 231）; retrying");
  }
  EXPECT_EQ(result.err.find('\r'), std::string::npos);
}

const std::regex outcome_layout(
    "\\{\n  \"schema\": 1,\n  \"ok\": (true|false),\n  \"action\": \"([a-z]+)\",\n"
    "  \"message\": \"(.*)\",\n  \"at\": ([0-9]+)\n\\}");

struct Outcome {
  std::string ok, action, message;
  long long at = 0;
};

Outcome parse_outcome(const std::string& bytes) {
  std::smatch match;
  if (!std::regex_match(bytes, match, outcome_layout)) {
    ADD_FAILURE() << "not the outcome layout: " << bytes;
    return {};
  }
  return {match[1], match[2], match[3], std::stoll(match[4])};
}

long long unix_now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch()).count();
}

TEST(RunOutcomeFile, UsageErrorIsRecordedUnderLocalAppData) {
  TempDir local;
  const long long before = unix_now();
  const RunResult result = testing::run(testing::bin_path(L"Keyward.exe"), {L"--SERVE"},
                                        {{L"LOCALAPPDATA", local.path() + L"\\nested"}});
  EXPECT_EQ(result.exit_code, 1u);
  const Outcome outcome = parse_outcome(testing::read_file(local / L"nested\\Vorlane\\input-helper-setup.json"));
  EXPECT_EQ(outcome.ok, "false");
  EXPECT_EQ(outcome.action, "helper");
  EXPECT_EQ(outcome.message,
            "用法: Keyward.exe --serve | --install --user-sid <SID> --gui-dir <DIR> | --uninstall");
  EXPECT_GE(outcome.at, before);
  EXPECT_LE(outcome.at, unix_now());
}

TEST(RunOutcomeFile, WithoutLocalAppDataTheWorkingFolderIsUsed) {
  TempDir work;
  Child keyward = Child::start(testing::bin_path(L"Keyward.exe"), {}, {{L"LOCALAPPDATA", std::nullopt}},
                               work.path());
  EXPECT_EQ(keyward.wait(60s), 1u);
  EXPECT_EQ(parse_outcome(testing::read_file(work / L"Vorlane\\input-helper-setup.json")).action, "helper");
}

TEST(RunOutcomeFile, InstallWithoutGuiDirLeavesThePreviousOutcome) {
  TempDir local;
  const std::wstring file = local / L"Vorlane\\input-helper-setup.json";
  testing::create_directories(local / L"Vorlane");
  ASSERT_TRUE(testing::write_file(file, "previous"));
  const RunResult result = testing::run(testing::bin_path(L"Keyward.exe"), {L"--install", L"--gui-dir"},
                                        {{L"LOCALAPPDATA", local.path()}});
  EXPECT_EQ(result.exit_code, 1u);
  EXPECT_EQ(testing::read_file(file), "previous");
}

// --serve with a setup record in a throwaway Program Files folder.
class Serve : public ::testing::Test {
 protected:
  TempDir program_files, local, app, other;
  std::string sid = win32::current_user_sid().value_or("");
  std::wstring pipe;
  std::wstring client_path = app / L"Vorlane.exe";
  Child keyward;

  void SetUp() override {
    ASSERT_FALSE(sid.empty());
    DWORD session = 0;
    ASSERT_TRUE(::ProcessIdToSessionId(::GetCurrentProcessId(), &session));
    pipe = widen("vorlane-input-" + sid + "-" + std::to_string(session));
    ASSERT_TRUE(testing::copy_file(testing::bin_path(L"vorlane_client.exe"), client_path));
  }
  void write_record(const std::string& gui_path) {
    nlohmann::ordered_json record;
    record["schema"] = 1;
    record["protocol"] = 1;
    record["version"] = "0.1.0";
    record["userSid"] = sid;
    record["guiPath"] = gui_path;
    record["taskName"] = "Keyward (" + sid + ")";
    record["installedAt"] = 1700000000;
    write_record_bytes(record.dump(2));
  }
  void write_record_bytes(const std::string& bytes) {
    const std::wstring users = program_files / L"Vorlane\\InputHelper\\users";
    testing::create_directories(users);
    ASSERT_TRUE(testing::write_file(users + L"\\" + widen(sid) + L".json", bytes));
  }
  testing::EnvChanges env() const {
    return {{L"ProgramFiles", program_files.path()}, {L"ProgramW6432", program_files.path()},
            {L"LOCALAPPDATA", local.path()}};
  }
  void start() { keyward = Child::start(testing::bin_path(L"Keyward.exe"), {L"--serve"}, env()); }
};

std::string ascii_upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

struct RecordedPathCase {
  const char* name;
  std::string (*spell)(const std::string& path);
};
void PrintTo(const RecordedPathCase& c, std::ostream* os) { *os << c.name; }

class ServeRecordedPath : public Serve, public ::testing::WithParamInterface<RecordedPathCase> {};

TEST_P(ServeRecordedPath, AdmitsTheRecordedProgramHoweverThePathIsSpelled) {
  write_record(GetParam().spell(testing::narrow(client_path)));
  start();
  const RunResult result = client(pipe, {widen(hello), LR"({"type":"enable"})", LR"({"type":"status"})"},
                                  client_path);
  EXPECT_EQ(result.exit_code, 0u) << result.out;
  EXPECT_NE(result.out.find("<< {\"control\":true,"), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServeRecordedPath,
    ::testing::Values(
        RecordedPathCase{"as_is", [](const std::string& p) { return p; }},
        RecordedPathCase{"ascii_case", [](const std::string& p) { return ascii_upper(p); }},
        RecordedPathCase{"forward_slashes",
                         [](const std::string& p) {
                           std::string s = p;
                           std::replace(s.begin(), s.end(), '\\', '/');
                           return s;
                         }},
        RecordedPathCase{"trailing_separator", [](const std::string& p) { return p + "\\"; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Serve, CopyInAnotherFolderIsDroppedWithoutAReply) {
  write_record(testing::narrow(client_path));
  start();
  const std::wstring copy = other / L"Vorlane.exe";
  ASSERT_TRUE(testing::copy_file(testing::bin_path(L"vorlane_client.exe"), copy));
  const RunResult refused = client(pipe, {widen(hello)}, copy);
  EXPECT_EQ(refused.exit_code, 4u) << refused.out;
  EXPECT_EQ(refused.out, ">> " + hello + "\n<< [closed]\n");
  const RunResult admitted = client(pipe, {widen(hello)}, client_path);
  EXPECT_EQ(admitted.exit_code, 0u) << admitted.out;
  EXPECT_EQ(keyward.err(), "");
}

TEST_F(Serve, PipeCarriesTheRestrictedDescriptorAndTheInstanceParameters) {
  write_record(testing::narrow(client_path));
  start();
  const std::wstring full_name = L"\\\\.\\pipe\\" + pipe;
  win32::unique_handle end;
  for (int i = 0; i < 500 && !end; ++i) {
    end.reset(::CreateFileW(full_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr));
    if (!end) std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(end);
  DWORD flags = 0, out_size = 0, in_size = 0, max_instances = 0;
  ASSERT_TRUE(::GetNamedPipeInfo(end.get(), &flags, &out_size, &in_size, &max_instances));
  EXPECT_EQ(flags & PIPE_TYPE_MESSAGE, 0u);
  EXPECT_EQ(max_instances, 1u);
  EXPECT_EQ(out_size, 65536u);
  EXPECT_EQ(in_size, 65536u);

  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetSecurityInfo(end.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              nullptr, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const win32::unique_hlocal descriptor_owner(descriptor);
  LPWSTR text = nullptr;
  ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &text, nullptr));
  const win32::unique_hlocal text_owner(text);
  EXPECT_EQ(testing::narrow(text), "D:(A;;GA;;;SY)(A;;GA;;;" + sid + ")");
  // Wine keeps no mandatory label on pipes, so the label part cannot be read back here.
}

struct BadRecordCase {
  const char* name;
  std::optional<std::string> bytes;  // absent: no record file
};
void PrintTo(const BadRecordCase& c, std::ostream* os) { *os << c.name; }

class ServeWithoutRecord : public Serve, public ::testing::WithParamInterface<BadRecordCase> {};

TEST_P(ServeWithoutRecord, EndsWithExitCodeOneAndTheRunOutcome) {
  if (GetParam().bytes) write_record_bytes(*GetParam().bytes);
  const RunResult result = testing::run(testing::bin_path(L"Keyward.exe"), {L"--serve"}, env(), 60s);
  EXPECT_EQ(result.exit_code, 1u);
  const Outcome outcome = parse_outcome(testing::read_file(local / L"Vorlane\\input-helper-setup.json"));
  EXPECT_EQ(outcome.ok, "false");
  EXPECT_EQ(outcome.action, "serve");
  EXPECT_EQ(outcome.message, "未找到管理员控制安装记录，请重新启用");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServeWithoutRecord,
    ::testing::Values(BadRecordCase{"missing", std::nullopt}, BadRecordCase{"not_json", "{"},
                      BadRecordCase{"without_installed_at",
                                    R"({"schema":1,"protocol":1,"version":"0.1.0","userSid":"S",)"
                                    R"("guiPath":"C:\\V\\Vorlane.exe","taskName":"T"})"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorlane
