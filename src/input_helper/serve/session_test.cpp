#include <gtest/gtest.h>

#include "src/input_helper/serve/serve_fakes.hpp"
#include "src/input_helper/serve/session.hpp"
#include "src/input_helper/serve/test_mode_controller.hpp"
#include "src/system/fake_elevation.hpp"

namespace vorlane::serve {
namespace {

struct DispatchCase {
  const char* name;
  std::string request;
  bool control_before;
  std::string reply;
  bool control_after;
  bool ends;
  std::vector<std::string> calls;
};
void PrintTo(const DispatchCase& c, std::ostream* os) { *os << c.name; }

class DispatchRequest : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(DispatchRequest, AnswersSessionRequestsAndGatesInput) {
  Journal journal;
  FakeQueries queries(journal);
  system::FakeElevation elevation;
  queries.desktop = std::nullopt;
  FakeController controller(journal);
  bool control = GetParam().control_before;
  const Dispatch dispatch =
      dispatch_request(JsonValue::parse(GetParam().request), controller, control, queries, elevation);
  EXPECT_EQ(dispatch.reply.dump(), GetParam().reply);
  EXPECT_EQ(control, GetParam().control_after);
  EXPECT_EQ(dispatch.ends_session, GetParam().ends);
  EXPECT_EQ(journal, GetParam().calls);
}

const std::string ok = R"({"ok":true})";
const std::string gated = R"({"error":"控制尚未开启","ok":false})";
const std::string unsupported = R"({"error":"不支持的输入请求","ok":false})";

INSTANTIATE_TEST_SUITE_P(
    Table, DispatchRequest,
    ::testing::Values(
        DispatchCase{"status_off", R"({"type":"status"})", false,
                     R"({"control":false,"desktop":null,"elevated":true,"ok":true})", false, false, {}},
        DispatchCase{"status_on", R"({"type":"status"})", true,
                     R"({"control":true,"desktop":null,"elevated":true,"ok":true})", true, false, {}},
        DispatchCase{"enable", R"({"type":"enable"})", false, ok, true, false, {"set_enabled(true)"}},
        DispatchCase{"enable_twice", R"({"type":"enable"})", true, ok, true, false, {"set_enabled(true)"}},
        DispatchCase{"disable_ends", R"({"type":"disable"})", true, ok, true, true, {"set_enabled(false)"}},
        DispatchCase{"release", R"({"type":"release"})", false, ok, false, false, {"release_all"}},
        DispatchCase{"key_before_enable", R"({"type":"key","code":"KeyA","down":true})", false, gated,
                     false, false, {}},
        DispatchCase{"key_after_enable", R"({"type":"key","code":"KeyA"})", true, ok, true, false,
                     {R"(execute {"code":"KeyA","type":"key"})"}},
        DispatchCase{"each_input_kind_reaches_execute", R"({"type":"pointer","x":0.5})", true, ok, true,
                     false, {R"(execute {"type":"pointer","x":0.5})"}},
        DispatchCase{"hello_after_handshake_is_a_request", R"({"type":"hello","protocol":1})", true, ok,
                     true, false, {R"(execute {"protocol":1,"type":"hello"})"}},
        DispatchCase{"hello_gated", R"({"type":"hello","protocol":1})", false, gated, false, false, {}},
        DispatchCase{"capitalised_type", R"({"type":"Status"})", true, unsupported, true, false, {}},
        DispatchCase{"numeric_type", R"({"type":1})", true, unsupported, true, false, {}},
        DispatchCase{"missing_type", R"({"code":"KeyA"})", true, unsupported, true, false, {}},
        DispatchCase{"array_message", R"(["status"])", true, unsupported, true, false, {}},
        DispatchCase{"bare_string", R"("status")", true, unsupported, true, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DispatchRequestFailures, ControllerTextsAreRepliedVerbatimAndKeepTheFlag) {
  Journal journal;
  FakeQueries queries(journal);
  system::FakeElevation elevation;
  FakeController controller(journal);
  controller.enable_error = "开启失败";
  controller.disable_error = "关闭失败";
  controller.execute_error = "系统拒绝了输入注入（0/1）\"\n";
  bool control = false;
  EXPECT_EQ(dispatch_request({{"type", "enable"}}, controller, control, queries, elevation).reply.dump(),
            R"({"error":"开启失败","ok":false})");
  EXPECT_FALSE(control);
  control = true;
  EXPECT_EQ(dispatch_request({{"type", "key"}}, controller, control, queries, elevation).reply.dump(),
            R"({"error":"系统拒绝了输入注入（0/1）\"\n","ok":false})");
  EXPECT_TRUE(control);
  const Dispatch disable = dispatch_request({{"type", "disable"}}, controller, control, queries, elevation);
  EXPECT_EQ(disable.reply.dump(), R"({"error":"关闭失败","ok":false})");
  EXPECT_TRUE(disable.ends_session);
}

TEST(TestModeControllerGate, ExecutesOnlyWhileEnabledAndInjectsNothing) {
  TestModeController controller;
  EXPECT_EQ(controller.execute({{"type", "key"}}).error(), "控制尚未开启");
  ASSERT_TRUE(controller.set_enabled(true));
  EXPECT_TRUE(controller.execute(JsonValue::array()).has_value());
  ASSERT_TRUE(controller.set_enabled(false));
  EXPECT_FALSE(controller.execute({{"type", "key"}}).has_value());
}

class Handshake : public ::testing::Test {
 protected:
  Journal journal;
  FakeQueries queries{journal};
  system::FakeElevation elevation;
  pipe::MemoryPipe pipe;
  ManualClock clock;
  pipe::PipeConnection connection{pipe, clock};
};

struct HelloCase {
  const char* name;
  std::string first_frame;
  bool accepted;
};
void PrintTo(const HelloCase& c, std::ostream* os) { *os << c.name; }

class HelloRule : public Handshake, public ::testing::WithParamInterface<HelloCase> {};

TEST_P(HelloRule, OnlyProtocolOneAsNonNegativeIntegerIsAccepted) {
  pipe.deliver(GetParam().first_frame + "\n");
  const auto end = perform_handshake(connection, queries, elevation);
  if (GetParam().accepted) {
    EXPECT_FALSE(end.has_value());
    EXPECT_EQ(pipe.written,
              "{\"desktop\":\"Default\",\"elevated\":true,\"ok\":true,\"protocol\":1,\"session\":1}\n");
  } else {
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(end->log_text, "客户端协议无效");
    EXPECT_TRUE(end->reply_last_written);
    EXPECT_EQ(pipe.written, "{\"error\":\"不支持的输入助手协议\",\"ok\":false}\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, HelloRule,
    ::testing::Values(HelloCase{"plain", R"({"type":"hello","protocol":1})", true},
                      HelloCase{"extra_members", R"({"client":"9.9","type":"hello","protocol":1,"x":[]})", true},
                      HelloCase{"protocol_float", R"({"type":"hello","protocol":1.0})", false},
                      HelloCase{"protocol_negative", R"({"type":"hello","protocol":-1})", false},
                      HelloCase{"protocol_string", R"({"type":"hello","protocol":"1"})", false},
                      HelloCase{"protocol_two", R"({"type":"hello","protocol":2})", false},
                      HelloCase{"protocol_missing", R"({"type":"hello"})", false},
                      HelloCase{"type_capitalised", R"({"type":"Hello","protocol":1})", false},
                      HelloCase{"status_first", R"({"type":"status"})", false},
                      HelloCase{"key_first", R"({"type":"key","code":"KeyA","down":true})", false},
                      HelloCase{"array", R"([{"type":"hello","protocol":1}])", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Handshake, ReplyShowsNullForWhatCannotBeReadAndFalseForUnknownElevation) {
  queries.desktop = std::nullopt;
  queries.sessions.clear();
  elevation.elevation = system::Elevation::unknown;
  pipe.deliver("{\"type\":\"hello\",\"protocol\":1}\n");
  EXPECT_FALSE(perform_handshake(connection, queries, elevation).has_value());
  EXPECT_EQ(pipe.written,
            "{\"desktop\":null,\"elevated\":false,\"ok\":true,\"protocol\":1,\"session\":null}\n");
}

// Only an elevated answer shows as elevated; a helper started without elevation says false.
TEST(ElevatedMember, IsTrueOnlyForAnElevatedHelperInHelloAndStatusReplies) {
  for (const auto& [answer, expected] :
       {std::pair{system::Elevation::elevated, true}, std::pair{system::Elevation::not_elevated, false},
        std::pair{system::Elevation::unknown, false}}) {
    Journal journal;
    FakeQueries queries(journal);
    system::FakeElevation elevation(answer);
    FakeController controller(journal);
    bool control = false;
    EXPECT_EQ(hello_reply(queries, elevation)["elevated"], expected);
    EXPECT_EQ(dispatch_request({{"type", "status"}}, controller, control, queries, elevation).reply["elevated"],
              expected);
  }
}

TEST_F(Handshake, SilenceForFiveSecondsTimesOut) {
  const auto end = perform_handshake(connection, queries, elevation);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->log_text, "客户端握手超时");
  EXPECT_FALSE(end->reply_last_written);
  EXPECT_EQ(clock.slept, std::chrono::seconds(5));
  EXPECT_EQ(pipe.written, "");
}

TEST_F(Handshake, ClientGoneBeforeItsHelloEndsAtOnceWithThePipeFailure) {
  pipe.close_client();
  const auto end = perform_handshake(connection, queries, elevation);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->log_text, "管道读取失败：The pipe has been ended. (0x8007006D)");
  EXPECT_FALSE(end->reply_last_written);
  EXPECT_EQ(clock.slept, std::chrono::milliseconds(0));
  EXPECT_EQ(pipe.written, "");
}

TEST_F(Handshake, UnreadableFirstMessageEndsWithTheReadFailureAndNoReply) {
  pipe.deliver("{\"type\":\"hello\",\"protocol\":1} x\n");
  const auto end = perform_handshake(connection, queries, elevation);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->log_text, "消息不是有效 JSON");
  EXPECT_EQ(pipe.written, "");
}

TEST_F(Handshake, HelloReplyThatCannotBeWrittenEndsWithTheWriteFailure) {
  pipe.deliver("{\"type\":\"hello\",\"protocol\":1}\n");
  pipe.fail_write("Pipe closed. (0x800700E8)");
  const auto end = perform_handshake(connection, queries, elevation);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->log_text, "管道写入失败：Pipe closed. (0x800700E8)");
  EXPECT_FALSE(end->reply_last_written);
}

class Liveness : public Handshake {
 protected:
  FakeController controller{journal};
  void SetUp() override { pipe.deliver("{\"type\":\"hello\",\"protocol\":1}\n"); }
};

TEST_F(Liveness, IdleClientIsCheckedEverySecondAndTheSessionEndsWhenItsProcessIsGone) {
  FakeClient client({"C:\\V\\Vorlane.exe", 3}, journal);
  const SessionEnd end = run_session(connection, controller, queries, elevation, &client, 7);
  EXPECT_FALSE(end.log_text.has_value());
  EXPECT_FALSE(end.reply_last_written);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "liveness"), 4);
  EXPECT_EQ(clock.slept, std::chrono::seconds(4));
}

TEST_F(Liveness, ClientThatCouldNotBeOpenedEndsAtTheFirstIdleSecond) {
  const SessionEnd end = run_session(connection, controller, queries, elevation, nullptr, 7);
  EXPECT_FALSE(end.log_text.has_value());
  EXPECT_EQ(clock.slept, std::chrono::seconds(1));
}

TEST_F(Liveness, ClientIdZeroKeepsWaitingUntilThePipeTellsItLeft) {
  // Three idle seconds, then the client closes its end.
  struct ClosingLater final : pipe::PipeIo {
    pipe::MemoryPipe& inner;
    ManualClock& clock;
    ClosingLater(pipe::MemoryPipe& p, ManualClock& c) : inner(p), clock(c) {}
    std::expected<std::size_t, std::string> peek() override {
      if (clock.slept >= std::chrono::seconds(3)) inner.close_client();
      return inner.peek();
    }
    std::expected<std::size_t, std::string> read(char* b, std::size_t n) override { return inner.read(b, n); }
    std::expected<std::size_t, std::string> write(const char* d, std::size_t n) override {
      return inner.write(d, n);
    }
  } closing(pipe, clock);
  pipe::PipeConnection over_closing(closing, clock);
  const SessionEnd end = run_session(over_closing, controller, queries, elevation, nullptr, 0);
  EXPECT_FALSE(end.log_text.has_value());
  EXPECT_GE(clock.slept, std::chrono::seconds(3));
}

TEST_F(Liveness, MalformedFrameEndsTheSessionWithoutReplyOrLogText) {
  pipe.deliver("{\"type\":\"enable\"}\n\xFF\n{\"type\":\"status\"}\n");
  FakeClient client({"C:\\V\\Vorlane.exe"}, journal);
  const SessionEnd end = run_session(connection, controller, queries, elevation, &client, 7);
  EXPECT_FALSE(end.log_text.has_value());
  EXPECT_FALSE(end.reply_last_written);
  EXPECT_EQ(pipe.written,
            "{\"desktop\":\"Default\",\"elevated\":true,\"ok\":true,\"protocol\":1,\"session\":1}\n"
            "{\"ok\":true}\n");
}

TEST_F(Liveness, DisableEndsTheSessionWithItsReplyAsTheLastThingWritten) {
  pipe.deliver("{\"type\":\"disable\"}\n{\"type\":\"status\"}\n");
  FakeClient client({"C:\\V\\Vorlane.exe"}, journal);
  const SessionEnd end = run_session(connection, controller, queries, elevation, &client, 7);
  EXPECT_FALSE(end.log_text.has_value());
  EXPECT_TRUE(end.reply_last_written);
  EXPECT_TRUE(pipe.written.ends_with("\n{\"ok\":true}\n"));
}

struct AdmissionCase {
  const char* name;
  std::string image_path;  // empty: cannot be read
  std::string expected_path;
  std::map<std::uint32_t, std::uint32_t> sessions;  // own pid 42, client 7
  bool open_fails;
  bool admitted;
};
void PrintTo(const AdmissionCase& c, std::ostream* os) { *os << c.name; }

class Admission : public ::testing::TestWithParam<AdmissionCase> {};

TEST_P(Admission, RecordedProgramInTheOwnSessionOnly) {
  Journal journal;
  FakeQueries queries(journal);
  queries.sessions = GetParam().sessions;
  FakeClient client({GetParam().image_path}, journal);
  EXPECT_EQ(admit_client(GetParam().open_fails ? nullptr : &client, 7, GetParam().expected_path, queries),
            GetParam().admitted);
  if (!GetParam().open_fails) {
    EXPECT_EQ(journal.front(), "image path 1024");
  }
}

const std::string recorded = "C:\\Program Files\\Vorlane\\Vorlane.exe";
const std::map<std::uint32_t, std::uint32_t> same_session{{42, 1}, {7, 1}};

INSTANTIATE_TEST_SUITE_P(
    Table, Admission,
    ::testing::Values(
        AdmissionCase{"exact", recorded, recorded, same_session, false, true},
        AdmissionCase{"ascii_case", "c:\\PROGRAM FILES\\vorlane\\VORLANE.EXE", recorded, same_session, false, true},
        AdmissionCase{"recorded_with_forward_slashes_and_trailing_separator", recorded,
                      "C:/Program Files/Vorlane/Vorlane.exe/", same_session, false, true},
        AdmissionCase{"copy_elsewhere", "C:\\Temp\\Vorlane.exe", recorded, same_session, false, false},
        AdmissionCase{"non_ascii_case", "C:\\Ä\\Vorlane.exe", "C:\\ä\\Vorlane.exe", same_session, false, false},
        AdmissionCase{"verbatim_prefix_not_removed", "\\\\?\\" + recorded, recorded, same_session, false, false},
        AdmissionCase{"image_path_unreadable", "", recorded, same_session, false, false},
        AdmissionCase{"process_not_opened", recorded, recorded, same_session, true, false},
        AdmissionCase{"empty_record_path", recorded, "", same_session, false, false},
        AdmissionCase{"other_session", recorded, recorded, {{42, 1}, {7, 2}}, false, false},
        AdmissionCase{"client_session_unreadable", recorded, recorded, {{42, 1}}, false, false},
        AdmissionCase{"own_session_unreadable", recorded, recorded, {{7, 1}}, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorlane::serve
