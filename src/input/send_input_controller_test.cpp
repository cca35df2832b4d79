#include <algorithm>

#include <gtest/gtest.h>

#include "src/input/fakes_for_tests.hpp"
#include "src/input/send_input_controller.hpp"
#include "src/system/fake_elevation.hpp"

namespace vorlane::input {
namespace {

// Requests arrive parsed from the wire, so the tests parse them from text as well: that is
// what decides whether 2 is an unsigned integer and 1.0 a floating-point number.
JsonValue wire(const char* text) { return JsonValue::parse(text); }

InputRecord key(std::uint16_t scan, std::uint32_t flags) { return keyboard_record(scan, flags); }
InputRecord mouse(std::int32_t x, std::int32_t y, std::uint32_t flags, std::uint32_t data = 0) {
  return mouse_record(x, y, data, flags);
}

class Controller : public ::testing::Test {
 protected:
  Controller() {
    auto sink_owner = std::make_unique<RecordingSink>();
    auto probe_owner = std::make_unique<FakeProbe>();
    sink = sink_owner.get();
    probe = probe_owner.get();
    controller =
        std::make_unique<SendInputController>(std::move(sink_owner), std::move(probe_owner), elevation);
  }

  void enable() { ASSERT_TRUE(controller->set_enabled(true).has_value()); }

  std::expected<void, std::string> execute(const char* request) {
    return controller->execute(wire(request));
  }

  // What release_all injects right now, in one flat list; the calls are forgotten afterwards.
  std::vector<InputRecord> released() {
    sink->calls.clear();
    controller->release_all();
    auto records = sink->all_records();
    sink->calls.clear();
    return records;
  }

  system::FakeElevation elevation;
  RecordingSink* sink = nullptr;
  FakeProbe* probe = nullptr;
  std::unique_ptr<SendInputController> controller;
};

struct RecordsCase {
  const char* request;
  std::vector<InputRecord> expected;  // all in one SendInput call
};

void PrintTo(const RecordsCase& c, std::ostream* out) { *out << c.request; }

class AcceptedRequest : public Controller, public ::testing::WithParamInterface<RecordsCase> {};

TEST_P(AcceptedRequest, InjectsExactlyTheseRecordsInOneCall) {
  enable();
  ASSERT_TRUE(execute(GetParam().request).has_value());
  ASSERT_EQ(sink->calls.size(), 1u);
  EXPECT_EQ(sink->calls[0], GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AcceptedRequest,
    ::testing::Values(
        RecordsCase{R"({"type":"key","code":"KeyA","down":true})", {key(0x1E, 0x0008)}},
        RecordsCase{R"({"type":"key","code":"KeyA","down":false})", {key(0x1E, 0x000A)}},
        RecordsCase{R"({"type":"key","code":"KeyA"})", {key(0x1E, 0x000A)}},
        RecordsCase{R"({"type":"key","code":"KeyA","down":"true"})", {key(0x1E, 0x000A)}},
        RecordsCase{R"({"type":"key","code":"KeyA","down":1})", {key(0x1E, 0x000A)}},
        RecordsCase{R"({"type":"key","code":"KeyA","down":true,"repeat":"true"})",
                    {key(0x1E, 0x0008)}},
        RecordsCase{R"({"type":"key","code":"ArrowLeft","down":true})", {key(0x4B, 0x0009)}},
        RecordsCase{R"({"type":"key","code":"ControlRight","down":false,"repeat":true})",
                    {key(0x9D, 0x000B)}}));

INSTANTIATE_TEST_SUITE_P(
    Text, AcceptedRequest,
    ::testing::Values(
        RecordsCase{R"({"type":"text","text":"a\nb"})",
                    {key(0x61, 4), key(0x61, 6), key(0x0A, 4), key(0x0A, 6), key(0x62, 4),
                     key(0x62, 6)}},
        RecordsCase{R"({"type":"text","text":"😀"})",
                    {key(0xD83D, 4), key(0xD83D, 6), key(0xDE00, 4), key(0xDE00, 6)}},
        RecordsCase{R"({"type":"text","text":"\t中"})",
                    {key(0x09, 4), key(0x09, 6), key(0x4E2D, 4), key(0x4E2D, 6)}}));

INSTANTIATE_TEST_SUITE_P(
    Pointer, AcceptedRequest,
    ::testing::Values(
        RecordsCase{R"({"type":"pointer","x":0.5,"y":1})", {mouse(32768, 65535, 0x8001)}},
        RecordsCase{R"({"type":"pointer","x":-0.1,"y":1.2})", {mouse(-6554, 78642, 0x8001)}},
        RecordsCase{R"({"type":"pointer","x":"0.5","y":5e-1})", {mouse(0, 32768, 0x8001)}},
        RecordsCase{R"({"type":"pointer","x":-1,"y":null})", {mouse(-65535, 0, 0x8001)}},
        RecordsCase{R"({"type":"pointer"})", {mouse(0, 0, 0x8001)}}));

INSTANTIATE_TEST_SUITE_P(
    Buttons, AcceptedRequest,
    ::testing::Values(
        RecordsCase{R"({"type":"button","button":2,"down":true,"x":0,"y":0})",
                    {mouse(0, 0, 0x8001), mouse(0, 0, 0x8009)}},
        // The release flag joins the absolute move like every button event: 0x0004 | 0x8001.
        RecordsCase{R"({"type":"button"})", {mouse(0, 0, 0x8001), mouse(0, 0, 0x8005)}},
        RecordsCase{R"({"type":"button","button":0,"down":true,"x":0.5,"y":0.5})",
                    {mouse(32768, 32768, 0x8001), mouse(32768, 32768, 0x8003)}},
        RecordsCase{R"({"type":"button","button":1,"x":0.25})",
                    {mouse(16384, 0, 0x8001), mouse(16384, 0, 0x8041)}},
        RecordsCase{R"({"type":"button","button":1.0,"down":true})",
                    {mouse(0, 0, 0x8001), mouse(0, 0, 0x8003)}},
        RecordsCase{R"({"type":"button","button":-1,"down":true})",
                    {mouse(0, 0, 0x8001), mouse(0, 0, 0x8003)}},
        RecordsCase{R"({"type":"button","button":"2","down":true})",
                    {mouse(0, 0, 0x8001), mouse(0, 0, 0x8003)}},
        RecordsCase{R"({"type":"button","button":256,"down":true})",
                    {mouse(0, 0, 0x8001), mouse(0, 0, 0x8003)}},
        RecordsCase{R"({"type":"button","button":257,"down":true})",
                    {mouse(0, 0, 0x8001), mouse(0, 0, 0x8021)}},
        RecordsCase{R"({"type":"button","button":258,"down":true})",
                    {mouse(0, 0, 0x8001), mouse(0, 0, 0x8009)}},
        RecordsCase{R"({"type":"button","button":513})",
                    {mouse(0, 0, 0x8001), mouse(0, 0, 0x8041)}}));

INSTANTIATE_TEST_SUITE_P(
    Scroll, AcceptedRequest,
    ::testing::Values(
        RecordsCase{R"({"type":"scroll","dy":120,"dx":-240})",
                    {mouse(0, 0, 0x0800, static_cast<std::uint32_t>(-120)),
                     mouse(0, 0, 0x1000, static_cast<std::uint32_t>(-240))}},
        RecordsCase{R"({"type":"scroll","dy":1e12})", {mouse(0, 0, 0x0800, 0x80000000u)}},
        RecordsCase{R"({"type":"scroll","dx":0.4,"dy":"120"})", {mouse(0, 0, 0x1000, 0)}}));

class RequestWithoutInjection : public Controller,
                                public ::testing::WithParamInterface<const char*> {};

TEST_P(RequestWithoutInjection, SucceedsAndCallsNothing) {
  enable();
  ASSERT_TRUE(execute(GetParam()).has_value());
  EXPECT_TRUE(sink->calls.empty());
  EXPECT_TRUE(released().empty()) << "nothing may be recorded as held";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestWithoutInjection,
    ::testing::Values(R"({"type":"text","text":""})", R"({"type":"scroll"})",
                      R"({"type":"scroll","dx":0,"dy":-0.0})",
                      R"({"type":"scroll","dx":"5","dy":true})",
                      R"({"type":"key","code":"KeyA","down":true,"repeat":true})"));

struct RefusalCase {
  const char* request;
  const char* text;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.request; }

class RefusedRequest : public Controller, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedRequest, ReturnsItsTextAndChangesNothing) {
  enable();
  ASSERT_TRUE(execute(R"({"type":"key","code":"KeyB","down":true})").has_value());
  ASSERT_TRUE(execute(R"({"type":"button","button":1,"down":true})").has_value());
  sink->calls.clear();

  const auto result = execute(GetParam().request);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), GetParam().text);
  EXPECT_TRUE(sink->calls.empty());
  EXPECT_EQ(released(), (std::vector{key(0x30, 0x000A), mouse(0, 0, 0x0040)}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedRequest,
    ::testing::Values(
        RefusalCase{R"({"code":"KeyA"})", "未知输入请求"},
        RefusalCase{R"({"type":5})", "未知输入请求"},
        RefusalCase{R"({"type":"Key","code":"KeyA"})", "未知输入请求"},
        RefusalCase{R"({"type":"hello","protocol":1})", "未知输入请求"},
        RefusalCase{R"({"type":"release"})", "未知输入请求"},
        RefusalCase{R"(["type","key"])", "未知输入请求"},
        RefusalCase{R"("key")", "未知输入请求"},
        RefusalCase{R"({"type":"key","down":true})", "按键请求缺少 code"},
        RefusalCase{R"({"type":"key","code":30,"down":true})", "按键请求缺少 code"},
        RefusalCase{R"({"type":"key","code":"keyb","down":false})", "不支持此按键"},
        RefusalCase{R"({"type":"key","code":"Insert","down":true,"repeat":true})", "不支持此按键"},
        RefusalCase{R"({"type":"text"})", "文本请求缺少 text"},
        RefusalCase{R"({"type":"text","text":["a"]})", "文本请求缺少 text"},
        RefusalCase{R"({"type":"button","button":3,"down":true})", "不支持此鼠标按钮"},
        RefusalCase{R"({"type":"button","button":255,"down":false,"x":0.5})", "不支持此鼠标按钮"},
        RefusalCase{R"({"type":"button","button":259,"down":false})", "不支持此鼠标按钮"}));

TEST_F(Controller, RefusesEverythingWhileDisabled) {
  const auto before = execute(R"({"type":"key","code":"KeyA","down":true})");
  ASSERT_FALSE(before.has_value());
  EXPECT_EQ(before.error(), "控制尚未开启");
  // Not even the type is looked at.
  EXPECT_EQ(execute("[]").error(), "控制尚未开启");
  EXPECT_TRUE(sink->calls.empty());
  EXPECT_TRUE(controller->is_available());
}

TEST_F(Controller, TracksHeldKeysAsASet) {
  enable();
  ASSERT_TRUE(execute(R"({"type":"key","code":"KeyA","down":true})").has_value());
  ASSERT_TRUE(execute(R"({"type":"key","code":"KeyA","down":true})").has_value());
  EXPECT_EQ(sink->all_records(), (std::vector{key(0x1E, 8), key(0x1E, 8)}));
  EXPECT_EQ(released(), (std::vector{key(0x1E, 0x000A)})) << "one key-up for a doubly pressed key";

  // A release of a key never pressed still injects its key-up.
  ASSERT_TRUE(execute(R"({"type":"key","code":"KeyS","down":false})").has_value());
  EXPECT_EQ(sink->all_records(), (std::vector{key(0x1F, 0x000A)}));

  // A released key and a released button are no longer held.
  ASSERT_TRUE(execute(R"({"type":"key","code":"Space","down":true})").has_value());
  ASSERT_TRUE(execute(R"({"type":"key","code":"Space","down":false})").has_value());
  ASSERT_TRUE(execute(R"({"type":"button","button":2,"down":true})").has_value());
  ASSERT_TRUE(execute(R"({"type":"button","button":2,"down":false})").has_value());
  EXPECT_TRUE(released().empty());
}

TEST_F(Controller, ARepeatInjectsNothingEvenForAKeyNotHeld) {
  enable();
  ASSERT_TRUE(execute(R"({"type":"key","code":"KeyW","down":true,"repeat":true})").has_value());
  EXPECT_TRUE(sink->calls.empty());
  EXPECT_TRUE(released().empty());
}

TEST_F(Controller, ReleaseAllSendsKeyUpsThenButtonUpsInOneCallAndEmptiesTheSets) {
  enable();
  ASSERT_TRUE(execute(R"({"type":"key","code":"KeyA","down":true})").has_value());
  ASSERT_TRUE(execute(R"({"type":"button","button":2,"down":true,"x":0.5,"y":0.5})").has_value());
  ASSERT_TRUE(execute(R"({"type":"key","code":"ControlRight","down":true})").has_value());
  sink->calls.clear();

  controller->release_all();
  ASSERT_EQ(sink->calls.size(), 1u);
  const std::vector<InputRecord>& records = sink->calls[0];
  ASSERT_EQ(records.size(), 3u);
  const std::vector<InputRecord> keys(records.begin(), records.begin() + 2);
  EXPECT_TRUE(std::ranges::is_permutation(keys, std::vector{key(0x1E, 0x000A), key(0x9D, 0x000B)}));
  // The release flag alone: no move, no absolute flag.
  EXPECT_EQ(records[2], mouse(0, 0, 0x0010));

  EXPECT_TRUE(released().empty()) << "the sets must be empty after a release";
}

TEST_F(Controller, DisablingReleasesWhatIsHeldAndTurnsControlOff) {
  enable();
  ASSERT_TRUE(execute(R"({"type":"key","code":"ShiftLeft","down":true})").has_value());
  ASSERT_TRUE(execute(R"({"type":"button","button":0,"down":true})").has_value());
  sink->calls.clear();

  ASSERT_TRUE(controller->set_enabled(false).has_value());
  EXPECT_EQ(sink->all_records(), (std::vector{key(0x2A, 0x000A), mouse(0, 0, 0x0004)}));
  EXPECT_EQ(execute(R"({"type":"key","code":"KeyA","down":true})").error(), "控制尚未开启");
}

TEST_F(Controller, ALongTextTravelsInCallsOf64Records) {
  enable();
  ASSERT_TRUE(execute(R"({"type":"text","text":"0123456789012345678901234567890123456789"})")
                  .has_value());
  ASSERT_EQ(sink->calls.size(), 2u);
  EXPECT_EQ(sink->calls[0].size(), 64u);
  EXPECT_EQ(sink->calls[1].size(), 16u);
  EXPECT_EQ(sink->calls[1].back(), key('9', 6));
}

TEST_F(Controller, ARefusedInjectionReturnsTheExplanationAndKeepsTheSetUpdate) {
  enable();
  probe->desktop = "Winlogon";
  sink->short_calls[0] = {0, 5};
  const auto result = execute(R"({"type":"key","code":"KeyA","down":true})");
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(),
            "系统拒绝了输入注入（0/1）：主机当前处于锁屏或 UAC 安全桌面，Windows "
            "不允许注入输入；请先在主机解锁并关闭安全桌面，再重新开启控制");

  // The failed press still counts as held. A key-up that release_all cannot get through keeps
  // it held, until Windows takes one.
  EXPECT_EQ(released(), (std::vector{key(0x1E, 0x000A)}));
  EXPECT_EQ(released(), (std::vector{key(0x1E, 0x000A)}));
  sink->short_calls.clear();
  EXPECT_EQ(released(), (std::vector{key(0x1E, 0x000A)}));
  EXPECT_TRUE(released().empty());
}

struct RefusedReleaseCase {
  const char* name;
  const char* press;
  const char* release;
  InputSink::Outcome answer;  // what Windows says to the release
  const char* reply;
  InputRecord retry;  // what release_all sends afterwards
};
void PrintTo(const RefusedReleaseCase& c, std::ostream* out) { *out << c.name; }

class RefusedRelease : public Controller, public ::testing::WithParamInterface<RefusedReleaseCase> {};

TEST_P(RefusedRelease, KeepsItHeldSoReleaseAllSendsItAgain) {
  enable();
  probe->desktop = "Winlogon";
  ASSERT_TRUE(execute(GetParam().press).has_value());
  sink->calls.clear();
  sink->short_calls[0] = {GetParam().answer.sent, GetParam().answer.error};

  const auto result = execute(GetParam().release);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), GetParam().reply);

  sink->short_calls.clear();
  EXPECT_EQ(released(), std::vector{GetParam().retry});
  EXPECT_TRUE(released().empty()) << "released once Windows took it";
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedRelease,
    ::testing::Values(
        RefusedReleaseCase{"key_up_refused", R"({"type":"key","code":"KeyA","down":true})",
                           R"({"type":"key","code":"KeyA","down":false})", {0, 5},
                           "系统拒绝了输入注入（0/1）：主机当前处于锁屏或 UAC 安全桌面，Windows "
                           "不允许注入输入；请先在主机解锁并关闭安全桌面，再重新开启控制",
                           key(0x1E, 0x000A)},
        RefusedReleaseCase{"extended_key_up_refused", R"({"type":"key","code":"ControlRight","down":true})",
                           R"({"type":"key","code":"ControlRight"})", {0, 5},
                           "系统拒绝了输入注入（0/1）：主机当前处于锁屏或 UAC 安全桌面，Windows "
                           "不允许注入输入；请先在主机解锁并关闭安全桌面，再重新开启控制",
                           key(0x9D, 0x000B)},
        // The move went through, the button event did not: the button is still down.
        RefusedReleaseCase{"button_up_after_the_move_refused",
                           R"({"type":"button","button":2,"down":true,"x":0.5})",
                           R"({"type":"button","button":2,"x":0.5})", {1, 5},
                           "系统拒绝了输入注入（1/2）：主机当前处于锁屏或 UAC 安全桌面，Windows "
                           "不允许注入输入；请先在主机解锁并关闭安全桌面，再重新开启控制",
                           mouse(0, 0, 0x0010)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Controller, ReleaseAllTriesEveryChunkEvenAfterARefusal) {
  enable();
  // More held keys than one call carries: 81 keys need two calls.
  for (const char* code : {"KeyA", "KeyB", "KeyC", "KeyD", "KeyE", "KeyF", "KeyG", "KeyH", "KeyI",
                           "KeyJ", "KeyK", "KeyL", "KeyM", "KeyN", "KeyO", "KeyP", "KeyQ", "KeyR",
                           "KeyS", "KeyT", "KeyU", "KeyV", "KeyW", "KeyX", "KeyY", "KeyZ", "Digit0",
                           "Digit1", "Digit2", "Digit3", "Digit4", "Digit5", "Digit6", "Digit7",
                           "Digit8", "Digit9", "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9",
                           "F10", "F11", "F12", "Escape", "Minus", "Equal", "Backspace", "Tab",
                           "BracketLeft", "BracketRight", "Enter", "ControlLeft", "Semicolon",
                           "Quote", "Backquote", "ShiftLeft", "Backslash", "Comma", "Period",
                           "Slash", "ShiftRight", "AltLeft", "Space"}) {
    const std::string request = std::string(R"({"type":"key","down":true,"code":")") + code + "\"}";
    ASSERT_TRUE(execute(request.c_str()).has_value()) << code;
  }
  sink->calls.clear();
  sink->short_calls[0] = {10, 5};
  probe->desktop_queries = 0;

  controller->release_all();

  ASSERT_EQ(sink->calls.size(), 2u) << "the second chunk is still sent";
  EXPECT_EQ(sink->calls[0].size() + sink->calls[1].size(), 68u);
  EXPECT_EQ(probe->desktop_queries, 0) << "no explanation is composed for nobody";
  // Windows took the first 10 records of the first call and nothing after them in that call.
  const std::vector<InputRecord> refused(sink->calls[0].begin() + 10, sink->calls[0].end());
  sink->calls.clear();
  sink->short_calls.clear();
  controller->release_all();
  ASSERT_EQ(sink->calls.size(), 1u);
  EXPECT_TRUE(std::ranges::is_permutation(sink->calls[0], refused)) << "only the refused ones are sent again";
  sink->calls.clear();
  controller->release_all();
  EXPECT_TRUE(sink->calls.empty()) << "the sets are empty once everything was taken";
}

TEST_F(Controller, ARefusedChunkStopsTheText) {
  enable();
  sink->short_calls[0] = {10, 87};
  std::string request = R"({"type":"text","text":")" + std::string(100, 'x') + R"("})";
  const auto result = controller->execute(wire(request.c_str()));
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(),
            "系统拒绝了输入注入（10/64）：输入参数无效（Win32 错误 87），请反馈客户端与主机版本");
  EXPECT_EQ(sink->calls.size(), 1u);
}

}  // namespace
}  // namespace vorlane::input
