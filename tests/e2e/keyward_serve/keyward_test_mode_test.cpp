// Keyward.exe --test-mode under Wine, driven through its pipe by the stand-in client.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/keyward_serve/keyward_e2e.hpp"

namespace vorlane::testing {
namespace {

// The e2e helpers bring Child, RunResult, TempDir, widen and the chrono literals along.

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

struct StuckClientCase {
  const char* name;
  std::vector<std::wstring> steps;  // the last one a request sent without reading its reply
  std::string log;                  // what the helper writes to its error stream
};
void PrintTo(const StuckClientCase& c, std::ostream* os) { *os << c.name; }

class ClientThatStopsReading : public TestMode, public ::testing::WithParamInterface<StuckClientCase> {};

// A client that stays connected and never reads the last reply may hold the helper for about a
// second, not longer: the next client is served within 2 s.
TEST_P(ClientThatStopsReading, KeepsTheNextClientOutForAtMostASecond) {
  std::vector<std::wstring> args{L"--pipe", pipe};
  args.insert(args.end(), GetParam().steps.begin(), GetParam().steps.end());
  args.push_back(L"@sleep 8000");
  Child stuck = Child::start(testing::bin_path(L"vorlane_client.exe"), args);
  const std::string last_sent = ">> " + testing::narrow(GetParam().steps.back().substr(6)) + "\n";
  const auto sent_by = std::chrono::steady_clock::now() + 10s;
  while (!stuck.out().ends_with(last_sent) && std::chrono::steady_clock::now() < sent_by) {
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_TRUE(stuck.out().ends_with(last_sent)) << stuck.out();

  const auto start = std::chrono::steady_clock::now();
  const RunResult next = client(pipe, {widen(hello)});
  const auto served_after = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(next.exit_code, 0u) << next.out;
  EXPECT_NE(next.out.find("\"protocol\":1"), std::string::npos) << next.out;
  EXPECT_LT(served_after, 2s) << std::chrono::duration_cast<std::chrono::milliseconds>(served_after).count();
  EXPECT_TRUE(stuck.running()) << "the stuck client must still hold its end";
  EXPECT_EQ(keyward.err(), GetParam().log);
  stuck.kill();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClientThatStopsReading,
    ::testing::Values(
        StuckClientCase{"after_disable", {widen(hello), LR"(@send {"type":"disable"})"}, ""},
        StuckClientCase{"after_a_bad_hello", {LR"(@send {"type":"hello","protocol":2})"},
                        "Keyward: 客户端协议无效\n"}),
    [](const auto& info) { return std::string(info.param.name); });

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

}  // namespace
}  // namespace vorlane::testing
