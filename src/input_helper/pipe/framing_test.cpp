#include <gtest/gtest.h>

#include "src/input_helper/pipe/framing.hpp"
#include "src/input_helper/pipe/memory_pipe.hpp"

namespace vorlane::pipe {
namespace {

using namespace std::chrono_literals;

class Framing : public ::testing::Test {
 protected:
  MemoryPipe pipe;
  ManualClock clock;
  PipeConnection connection{pipe, clock};

  JsonValue expect_message(std::chrono::milliseconds deadline = 1s) {
    ReadOutcome outcome = read_message(connection, deadline);
    if (auto* failure = std::get_if<ReadFailed>(&outcome)) {
      ADD_FAILURE() << "failed: " << failure->text;
      return {};
    }
    EXPECT_TRUE(std::holds_alternative<JsonValue>(outcome)) << "timed out";
    return std::holds_alternative<JsonValue>(outcome) ? std::get<JsonValue>(outcome) : JsonValue{};
  }
  std::string expect_failure(std::chrono::milliseconds deadline = 1s) {
    ReadOutcome outcome = read_message(connection, deadline);
    EXPECT_TRUE(std::holds_alternative<ReadFailed>(outcome));
    return std::holds_alternative<ReadFailed>(outcome) ? std::get<ReadFailed>(outcome).text : "";
  }
};

std::string json_string_of_size(std::size_t bytes) { return '"' + std::string(bytes - 2, 'a') + '"'; }

TEST_F(Framing, TwoFramesInOneWriteComeOutOneByOneAndTheSecondDoesNotTouchThePipe) {
  pipe.deliver("{\"type\":\"status\"}\n[1,2]\n");
  EXPECT_EQ(expect_message(), JsonValue({{"type", "status"}}));
  const int peeks = pipe.peeks, reads = pipe.reads;
  EXPECT_EQ(expect_message(), JsonValue::parse("[1,2]"));
  EXPECT_EQ(pipe.peeks, peeks);
  EXPECT_EQ(pipe.reads, reads);
}

TEST_F(Framing, PartialFrameSurvivesATimeoutAndIsCompletedByLaterWrites) {
  pipe.deliver("{\"type\":");
  EXPECT_TRUE(std::holds_alternative<TimedOut>(read_message(connection, 1s)));
  EXPECT_GE(clock.slept, std::chrono::seconds(1));
  pipe.deliver("\"enable\"");
  pipe.deliver("}\r\n{\"next\"");
  EXPECT_EQ(expect_message(), JsonValue({{"type", "enable"}}));
  EXPECT_EQ(connection.buffer(), "{\"next\"");
}

TEST_F(Framing, ReadsLargeFramesInChunksNoBiggerThanFourKilobytes) {
  const std::string text = json_string_of_size(10000);
  pipe.deliver(text + "\n");
  EXPECT_EQ(expect_message(), JsonValue::parse(text));
  EXPECT_EQ(pipe.reads, 3);
}

TEST_F(Framing, IdleWaitPollsEveryTenMillisecondsUntilTheDeadline) {
  EXPECT_TRUE(std::holds_alternative<TimedOut>(read_message(connection, 5s)));
  EXPECT_EQ(clock.slept, std::chrono::seconds(5));
  EXPECT_EQ(pipe.peeks, 501);
}

struct LimitCase {
  const char* name;
  std::string bytes;
  bool accepted;
};
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }


class FrameLimit : public Framing, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(FrameLimit, SixtyFourKibibytesIncludingTheLineFeed) {
  pipe.deliver(GetParam().bytes);
  pipe.close_client();
  ReadOutcome outcome = read_message(connection, 1s);
  if (GetParam().accepted) {
    EXPECT_TRUE(std::holds_alternative<JsonValue>(outcome));
  } else {
    ASSERT_TRUE(std::holds_alternative<ReadFailed>(outcome));
    EXPECT_EQ(std::get<ReadFailed>(outcome).text, "消息超过 64 KiB 上限");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FrameLimit,
    ::testing::Values(LimitCase{"text_65535_accepted", json_string_of_size(65535) + "\n", true},
                      LimitCase{"text_65536_refused", json_string_of_size(65536) + "\n", false},
                      LimitCase{"no_line_feed_after_65537_refused", std::string(65537, ' '), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Framing, ExactlyTheLimitWithoutALineFeedStillWaitsForMore) {
  pipe.deliver(std::string(65536, ' '));
  EXPECT_TRUE(std::holds_alternative<TimedOut>(read_message(connection, 1s)));
}

std::string nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

struct LineCase {
  const char* name;
  std::string line;
  std::string error;  // empty: accepted
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }


class FrameLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(FrameLine, OneUtf8JsonTextPerLine) {
  const auto value = parse_frame(GetParam().line);
  if (GetParam().error.empty()) {
    EXPECT_TRUE(value.has_value()) << value.error();
  } else {
    ASSERT_FALSE(value.has_value());
    EXPECT_EQ(value.error(), GetParam().error);
  }
}

const std::string not_json = "消息不是有效 JSON";
const std::string not_utf8 = "消息不是 UTF-8";

INSTANTIATE_TEST_SUITE_P(
    Table, FrameLine,
    ::testing::Values(
        LineCase{"carriage_return_is_whitespace", "{\"a\":1}\r", ""},
        LineCase{"surrounding_blanks", " \t{\"a\":1} ", ""},
        LineCase{"bare_number", "42", ""},
        LineCase{"bare_string", "\"x\"", ""},
        LineCase{"array", "[1,\"a\",null]", ""},
        LineCase{"nesting_127", nested(127), ""},
        LineCase{"brackets_inside_strings_do_not_nest", "[\"" + std::string(200, '[') + "\\\"\"]", ""},
        LineCase{"nesting_128", nested(128), not_json},
        LineCase{"objects_count_too", std::string(64, '[') + std::string(64, '{') , not_json},
        LineCase{"empty_line", "", not_json},
        LineCase{"blanks_only", "   ", not_json},
        LineCase{"trailing_text", "{\"a\":1} x", not_json},
        LineCase{"two_texts", "{} {}", not_json},
        LineCase{"byte_order_mark", "\xEF\xBB\xBF{\"a\":1}", not_json},
        LineCase{"comment", "{} // c", not_json},
        LineCase{"invalid_utf8_byte", "{\"a\":\"\xFF\"}", not_utf8},
        LineCase{"invalid_utf8_outside_json", "\xC3", not_utf8},
        LineCase{"utf8_encoded_surrogate", "\"\xED\xA0\x80\"", not_utf8},
        LineCase{"escaped_lone_surrogate", "\"\\ud800\"", not_json},
        // The JSON library stops at a NUL byte; none may hide what follows it.
        LineCase{"nul_then_trailing_bytes", std::string("{\"type\":\"status\"}\0garbage", 25), not_json},
        LineCase{"number_then_nul", std::string("123\0", 4), not_json},
        LineCase{"nul_inside_string", std::string("{\"a\":\"x\0y\"}", 11), not_json}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameValue, NumbersKeepTheirFormAndTheLastDuplicateMemberWins) {
  const auto value = parse_frame(
      R"({"u":1,"n":-1,"f":1.0,"big":18446744073709551615,"huge":18446744073709551616,"d":1,"d":"two"})");
  ASSERT_TRUE(value.has_value());
  EXPECT_TRUE((*value)["u"].is_number_unsigned());
  EXPECT_TRUE((*value)["n"].is_number_integer() && !(*value)["n"].is_number_unsigned());
  EXPECT_TRUE((*value)["f"].is_number_float());
  EXPECT_TRUE((*value)["big"].is_number_unsigned());
  EXPECT_TRUE((*value)["huge"].is_number_float());
  EXPECT_EQ((*value)["d"], "two");
}

TEST_F(Framing, BadFrameIsConsumedSoTheNextFrameCanBeRead) {
  pipe.deliver("nope\n{}\n");
  EXPECT_EQ(expect_failure(), not_json);
  EXPECT_EQ(expect_message(), JsonValue::object());
}

TEST_F(Framing, AFrameWithANulByteIsNotJsonWhateverPrecedesIt) {
  pipe.deliver(std::string("{\"type\":\"status\"}\0garbage\n", 26));
  EXPECT_EQ(expect_failure(), not_json);
}

TEST_F(Framing, PipeFailuresEndTheRead) {
  pipe.fail_peek("Broken pipe. (0x8007006D)");
  EXPECT_EQ(expect_failure(), "管道读取失败：Broken pipe. (0x8007006D)");

  MemoryPipe reading;
  PipeConnection other(reading, clock);
  reading.deliver("{}");
  reading.fail_read("Access denied. (0x80070005)");
  ReadOutcome outcome = read_message(other, 1s);
  ASSERT_TRUE(std::holds_alternative<ReadFailed>(outcome));
  EXPECT_EQ(std::get<ReadFailed>(outcome).text, "管道读取失败：Access denied. (0x80070005)");
}

// A client that has gone shows as the pipe does on Windows: what it wrote is still read, then
// the peek fails with the broken-pipe error.
TEST_F(Framing, ClientClosingEndsTheReadAsAPipeFailureAfterWhatItWrote) {
  pipe.deliver("{\"type\":\"status\"}\n{\"type\"");
  pipe.close_client();
  EXPECT_EQ(expect_message(), JsonValue({{"type", "status"}}));
  EXPECT_EQ(expect_failure(), "管道读取失败：The pipe has been ended. (0x8007006D)");
  EXPECT_EQ(clock.slept, 0ms);
}

// Success without a byte is no progress: the read ends instead of asking again forever.
TEST_F(Framing, AReadThatMovesNoByteIsADisconnect) {
  pipe.deliver("{\"type\"");
  pipe.stall();
  EXPECT_EQ(expect_failure(), "输入助手客户端已断开");
  EXPECT_EQ(pipe.reads, 1);
}

TEST_F(Framing, RepliesAreCompactSortedRawUtf8Lines) {
  ASSERT_TRUE(write_message(connection, ok_reply()).has_value());
  ASSERT_TRUE(write_message(connection, error_reply("控制尚未开启")).has_value());
  JsonValue status = {{"ok", true}, {"elevated", false}, {"desktop", nullptr}, {"control", true},
                      {"Z", "\"\\\b\f\n\r\t\x01\x1f\x7f/"}};
  ASSERT_TRUE(write_message(connection, status).has_value());
  EXPECT_EQ(pipe.written,
            "{\"ok\":true}\n"
            "{\"error\":\"控制尚未开启\",\"ok\":false}\n"
            "{\"Z\":\"\\\"\\\\\\b\\f\\n\\r\\t\\u0001\\u001f\x7f/\",\"control\":true,\"desktop\":null,"
            "\"elevated\":false,\"ok\":true}\n");
}

TEST_F(Framing, ShortWritesAreContinuedUntilEveryByteIsOut) {
  pipe.limit_writes(3);
  ASSERT_TRUE(write_message(connection, error_reply("控制尚未开启")).has_value());
  EXPECT_EQ(pipe.written, "{\"error\":\"控制尚未开启\",\"ok\":false}\n");
}

struct WriteFailureCase {
  const char* name;
  JsonValue value;
  void (*arrange)(MemoryPipe&);
  std::string error;
  bool error_is_prefix;
};
void PrintTo(const WriteFailureCase& c, std::ostream* os) { *os << c.name; }


class WriteFailure : public Framing, public ::testing::WithParamInterface<WriteFailureCase> {};

TEST_P(WriteFailure, ReportsWhyNothingUsableWasWritten) {
  GetParam().arrange(pipe);
  const auto written = write_message(connection, GetParam().value);
  ASSERT_FALSE(written.has_value());
  if (GetParam().error_is_prefix) {
    EXPECT_TRUE(written.error().starts_with(GetParam().error)) << written.error();
    EXPECT_GT(written.error().size(), GetParam().error.size());
  } else {
    EXPECT_EQ(written.error(), GetParam().error);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, WriteFailure,
    ::testing::Values(
        WriteFailureCase{"pipe_error", ok_reply(), [](MemoryPipe& p) { p.fail_write("Pipe closed. (0x800700E8)"); },
                         "管道写入失败：Pipe closed. (0x800700E8)", false},
        WriteFailureCase{"client_gone_after_part_of_the_line", ok_reply(),
                         [](MemoryPipe& p) {
                           p.limit_writes(3);
                           p.fail_write("The pipe is being closed. (0x800700E8)", 3);
                         },
                         "管道写入失败：The pipe is being closed. (0x800700E8)", false},
        WriteFailureCase{"nothing_taken", ok_reply(), [](MemoryPipe& p) { p.stall(); },
                         "输入助手客户端已断开", false},
        WriteFailureCase{"text_over_65536", JsonValue(std::string(65535, 'a')), [](MemoryPipe&) {},
                         "消息超过 64 KiB 上限", false},
        WriteFailureCase{"invalid_utf8_string", error_reply("\xFF"), [](MemoryPipe&) {},
                         "消息序列化失败：", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Framing, OutgoingTextOfExactly65536BytesIsSent) {
  ASSERT_TRUE(write_message(connection, JsonValue(std::string(65534, 'a'))).has_value());
  EXPECT_EQ(pipe.written.size(), 65537u);
}

}  // namespace
}  // namespace vorlane::pipe
