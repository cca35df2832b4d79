#include <gtest/gtest.h>

#include "src/input_helper/serve/serve.hpp"
#include "src/input_helper/serve/serve_fakes.hpp"
#include "src/system/fake_elevation.hpp"

namespace vorlane::serve {
namespace {

const std::string hello = "{\"type\":\"hello\",\"protocol\":1}\n";
const std::string hello_reply =
    "{\"desktop\":\"Default\",\"elevated\":true,\"ok\":true,\"protocol\":1,\"session\":1}\n";
const std::string gui_path = "C:\\Program Files\\Vorlane\\Vorlane.exe";

class Serve : public ::testing::Test {
 protected:
  Journal journal;
  ManualClock clock;
  FakeEndpoint endpoint{journal, clock};
  FakeQueries queries{journal};
  system::FakeElevation elevation;
  FakeLog log{journal};
  int controllers_made = 0;
  std::optional<std::string> record_error;
  std::vector<std::string> record_lookups;
  ServeDeps deps{endpoint, queries, elevation, clock, log,
                 [this](const std::string& sid) -> std::expected<std::string, std::string> {
                   record_lookups.push_back(sid);
                   if (record_error) return std::unexpected(*record_error);
                   return gui_path;
                 },
                 [this]() -> std::unique_ptr<InputController> {
                   ++controllers_made;
                   journal.push_back("make controller");
                   return std::make_unique<FakeController>(journal);
                 }};

  void SetUp() override {
    queries.clients[7] = {gui_path};
    queries.sessions[7] = 1;
  }

  std::string run(bool test_mode = false, std::optional<std::string> pipe = std::nullopt) {
    return serve(test_mode, pipe, deps);
  }
  // The journal from the first connection on.
  Journal after_connect() const {
    const auto it = std::find(journal.begin(), journal.end(), "connected");
    return Journal(it, journal.end());
  }
};

const std::string no_more_clients = "等待输入助手客户端失败：No more clients. (0x800700E8)";

TEST_F(Serve, StartFailuresEndTheRunWithTheirTexts) {
  queries.sid.reset();
  EXPECT_EQ(run(), "无法读取当前用户 SID");
  queries.sid = "S-1-5-21-0-0-0-1000";
  queries.sessions.clear();
  EXPECT_EQ(run(), "无法读取当前 Windows 会话");
  queries.sessions[42] = 1;
  record_error = "not JSON";
  EXPECT_EQ(run(), "未找到管理员控制安装记录，请重新启用");
  EXPECT_EQ(record_lookups, std::vector<std::string>({"S-1-5-21-0-0-0-1000"}));
  EXPECT_TRUE(endpoint.created.empty());
}

TEST_F(Serve, TestModeReadsNoRecordAndUsesTheOverride) {
  record_error = "absent";
  EXPECT_EQ(run(true, "demo"), no_more_clients);
  EXPECT_TRUE(record_lookups.empty());
  EXPECT_EQ(endpoint.created, std::vector<std::string>({"\\\\.\\pipe\\demo"}));
  EXPECT_EQ(journal.front(), "create test");
}

TEST_F(Serve, TenFailedCreationsGiveNineRetryLinesThenTheLastError) {
  for (int i = 1; i <= 10; ++i) endpoint.create_errors.push_back("error " + std::to_string(i));
  EXPECT_EQ(run(), "error 10");
  ASSERT_EQ(log.lines.size(), 9u);
  EXPECT_EQ(log.lines.front(), "Keyward: error 1; retrying\n");
  EXPECT_EQ(log.lines.back(), "Keyward: error 9; retrying\n");
  EXPECT_EQ(clock.slept, std::chrono::milliseconds(4500));
}

TEST_F(Serve, CreationThatSucceedsOnARetryServesAndTheInstanceIsNeverRecreated) {
  endpoint.create_errors = {"创建输入助手管道 失败（Win32 231）", std::nullopt};
  endpoint.connections.push_back({7, {hello, "{\"type\":\"disable\"}\n"}});
  endpoint.connections.push_back({7, {hello}});
  EXPECT_EQ(run(), no_more_clients);
  EXPECT_EQ(log.lines, std::vector<std::string>({"Keyward: 创建输入助手管道 失败（Win32 231）; retrying\n"}));
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "create"), 2);
  EXPECT_EQ(endpoint.created.size(), 1u);
  EXPECT_EQ(endpoint.created.front(), "\\\\.\\pipe\\vorlane-input-S-1-5-21-0-0-0-1000-1");
  EXPECT_EQ(endpoint.written, std::vector<std::string>({hello_reply + "{\"ok\":true}\n", hello_reply}));
}

TEST_F(Serve, DisableEndsTheSessionInOrderAndAwaitsTheReadOfItsReplyBeforeDisconnecting) {
  endpoint.connections.push_back({7, {hello + "{\"type\":\"enable\"}\n{\"type\":\"key\",\"code\":\"KeyA\"}\n"
                                          "{\"type\":\"disable\"}\n{\"type\":\"status\"}\n"}});
  EXPECT_EQ(run(), no_more_clients);
  EXPECT_EQ(after_connect(),
            Journal({"connected", "open client 7", "image path 1024", "make controller",
                     "set_enabled(true)", R"(execute {"code":"KeyA","type":"key"})",
                     "set_enabled(false)", "release_all", "set_enabled(false)",
                     "destroy controller", "await reply read", "close client", "disconnect", "disconnect"}));
  EXPECT_EQ(endpoint.written.front(), hello_reply + "{\"ok\":true}\n{\"ok\":true}\n{\"ok\":true}\n");
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(Serve, HandshakeTimeoutIsLoggedBetweenDisablingAndDestroyingTheController) {
  endpoint.connections.push_back({7, {}, /*closes=*/false});
  EXPECT_EQ(run(), no_more_clients);
  EXPECT_EQ(after_connect(),
            Journal({"connected", "open client 7", "image path 1024", "make controller",
                     "release_all", "set_enabled(false)", "log Keyward: 客户端握手超时\n",
                     "destroy controller", "close client", "disconnect", "disconnect"}));
}

TEST_F(Serve, BadHelloIsRefusedLoggedAndItsReplyAwaitsItsRead) {
  endpoint.connections.push_back({7, {"{\"type\":\"status\"}\n"}, false});
  EXPECT_EQ(run(), no_more_clients);
  EXPECT_EQ(endpoint.written.front(), "{\"error\":\"不支持的输入助手协议\",\"ok\":false}\n");
  EXPECT_EQ(log.lines, std::vector<std::string>({"Keyward: 客户端协议无效\n"}));
  EXPECT_NE(std::find(journal.begin(), journal.end(), "await reply read"), journal.end());
}

TEST_F(Serve, ClientLeavingEndsQuietlyReleasingHeldInputAndTheNextClientStartsWithControlOff) {
  endpoint.connections.push_back({7, {hello, "{\"type\":\"enable\"}\n"}});
  endpoint.connections.push_back({7, {hello, "{\"type\":\"key\"}\n{\"type\":\"status\"}\n"}});
  EXPECT_EQ(run(), no_more_clients);
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "release_all"), 2);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "await reply read"), 0);
  EXPECT_EQ(endpoint.written.back(),
            hello_reply + "{\"error\":\"控制尚未开启\",\"ok\":false}\n"
                          "{\"control\":false,\"desktop\":\"Default\",\"elevated\":true,\"ok\":true}\n");
}

struct LastReplyCase {
  const char* name;
  std::string sends;  // ends the session after a reply
  ReplyReading reading;
  std::chrono::milliseconds waited;  // from the first look at the pipe to the disconnect
  bool read;                         // the client had read everything when disconnected
};
void PrintTo(const LastReplyCase& c, std::ostream* os) { *os << c.name; }

class LastReply : public Serve, public ::testing::WithParamInterface<LastReplyCase> {};

TEST_P(LastReply, IsGivenAtMostOneSecondToBeReadThenTheNextClientIsServed) {
  ScriptedConnection first{7, {GetParam().sends}, /*closes=*/false};
  first.reading = GetParam().reading;
  endpoint.connections.push_back(first);
  endpoint.connections.push_back({7, {hello}});
  EXPECT_EQ(run(), no_more_clients);
  EXPECT_EQ(endpoint.waited, std::vector{GetParam().waited});
  EXPECT_EQ(endpoint.read_before_disconnect, std::vector{GetParam().read});
  for (const auto sleep : clock.sleeps) EXPECT_LE(sleep, std::chrono::milliseconds(10));
  EXPECT_EQ(endpoint.written.back(), hello_reply);
}

using How = ReplyReading::How;
using std::chrono::milliseconds;
const std::string disable = hello + "{\"type\":\"disable\"}\n";
const std::string bad_hello = "{\"type\":\"hello\",\"protocol\":2}\n";

INSTANTIATE_TEST_SUITE_P(
    Table, LastReply,
    ::testing::Values(
        LastReplyCase{"disable_read_at_once", disable, {How::reads}, milliseconds(0), true},
        LastReplyCase{"disable_read_after_300_ms", disable, {How::reads, milliseconds(300)},
                      milliseconds(300), true},
        LastReplyCase{"disable_read_just_in_time", disable, {How::reads, milliseconds(990)},
                      milliseconds(990), true},
        LastReplyCase{"disable_read_too_late", disable, {How::reads, milliseconds(1500)},
                      milliseconds(1000), false},
        LastReplyCase{"disable_never_read", disable, {How::never}, milliseconds(1000), false},
        LastReplyCase{"bad_hello_read_after_500_ms", bad_hello, {How::reads, milliseconds(500)},
                      milliseconds(500), true},
        LastReplyCase{"bad_hello_never_read", bad_hello, {How::never}, milliseconds(1000), false},
        LastReplyCase{"client_closed_without_reading", disable, {How::closes}, milliseconds(0), false},
        LastReplyCase{"pipe_cannot_tell", disable, {How::untold}, milliseconds(0), false}),
    [](const auto& info) { return std::string(info.param.name); });

struct DropCase {
  const char* name;
  std::optional<std::uint32_t> pid;
  std::string image_path;
  std::uint32_t client_session;
};
void PrintTo(const DropCase& c, std::ostream* os) { *os << c.name; }

class RefusedClient : public Serve, public ::testing::WithParamInterface<DropCase> {};

TEST_P(RefusedClient, IsDroppedWithoutReplyLogOrController) {
  queries.clients[9] = {GetParam().image_path};
  queries.sessions[9] = GetParam().client_session;
  endpoint.connections.push_back({GetParam().pid, {hello}});
  endpoint.connections.push_back({7, {hello}});
  EXPECT_EQ(run(), no_more_clients);
  EXPECT_EQ(endpoint.written, std::vector<std::string>({"", hello_reply}));
  EXPECT_EQ(controllers_made, 1);
  EXPECT_TRUE(log.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedClient,
    ::testing::Values(DropCase{"pid_unreadable", std::nullopt, gui_path, 1},
                      DropCase{"pid_zero", 0, gui_path, 1},
                      DropCase{"process_not_opened", 8, gui_path, 1},
                      DropCase{"copy_in_another_folder", 9, "C:\\Users\\u\\Vorlane.exe", 1},
                      DropCase{"other_session", 9, gui_path, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Serve, TestModeServesAnyClientWithTheGatingController) {
  endpoint.connections.push_back({0, {hello + "{\"type\":\"key\"}\n{\"type\":\"enable\"}\n{\"type\":\"key\"}\n"}});
  EXPECT_EQ(run(true), no_more_clients);
  EXPECT_EQ(controllers_made, 0);
  EXPECT_EQ(endpoint.written.front(),
            hello_reply + "{\"error\":\"控制尚未开启\",\"ok\":false}\n{\"ok\":true}\n{\"ok\":true}\n");
}

TEST_F(Serve, ClientProcessIsOpenedOnceAndServesAdmissionAndEveryLivenessCheck) {
  queries.clients[7].idle_checks_alive = 3;
  endpoint.connections.push_back({7, {hello}, /*closes=*/false});
  EXPECT_EQ(run(), no_more_clients);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "open client 7"), 1);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "liveness"), 4);
  const auto closed = std::find(journal.begin(), journal.end(), "close client");
  EXPECT_EQ(std::find(closed, journal.end(), "liveness"), journal.end());
  EXPECT_EQ(*std::next(closed), "disconnect");
}

TEST_F(Serve, ClientThatLeftBeforeTheWaitReturnedDoesNotEndTheRun) {
  endpoint.connections.push_back({7, {}, true, /*left_early=*/true});
  endpoint.connections.push_back({7, {hello}});
  EXPECT_EQ(run(), no_more_clients);
  EXPECT_EQ(endpoint.written, std::vector<std::string>({hello_reply}));
}

}  // namespace
}  // namespace vorlane::serve
