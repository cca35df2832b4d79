// Keyward.exe --serve under Wine, end to end: the stand-in client sends input requests over the
// pipe and the input observer's hooks show what the helper injected, and what it released
// when the client let go.
#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <memory>
#include <optional>

#include <gtest/gtest.h>

#include "tests/e2e/keyward_input/observer.hpp"
#include "tests/e2e/keyward_input/served_keyward.hpp"

namespace vorlane::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto release_deadline = 30s;
const std::string hello = R"({"type":"hello","protocol":1})";
const std::string enable = R"({"type":"enable"})";
const std::string ok = R"({"ok":true})";

// Wine's null display is 1024 x 768; absolute coordinates map as v * 1024 / 65536.
ObservedEvent moved_to(long x, long y) { return mouse_event(wm_mousemove, x, y, 0, 0x01); }
ObservedEvent button(unsigned message, long x, long y) { return mouse_event(message, x, y, 0, 0x01); }
ObservedEvent wheel(unsigned message, long x, long y, std::uint32_t data) {
  return mouse_event(message, x, y, data, 0x01);
}
// Keys injected by scan code: Wine reports vk 0, flags 0x10 (injected), 0x80 up, 0x01 extended.
ObservedEvent scan_down(std::uint32_t scan, bool extended = false) {
  return key_event(wm_keydown, 0, scan, extended ? 0x11 : 0x10);
}
ObservedEvent scan_up(std::uint32_t scan, bool extended = false) {
  return key_event(wm_keyup, 0, scan, extended ? 0x91 : 0x90);
}
// Text units arrive as VK_PACKET; Wine sets no up bit on their key-up.
std::vector<ObservedEvent> typed(std::initializer_list<std::uint32_t> units) {
  std::vector<ObservedEvent> events;
  for (const std::uint32_t unit : units) {
    events.push_back(key_event(wm_keydown, 0xE7, unit, 0x10));
    events.push_back(key_event(wm_keyup, 0xE7, unit, 0x10));
  }
  return events;
}

std::vector<ObservedEvent> without_moves(const std::vector<ObservedEvent>& events) {
  std::vector<ObservedEvent> kept;
  std::ranges::copy_if(events, std::back_inserter(kept),
                       [](const ObservedEvent& e) { return e.message != wm_mousemove; });
  return kept;
}

class ServeInput : public ::testing::Test {
 protected:
  void SetUp() override {
    observer = Observer::start();
    ASSERT_TRUE(observer.has_value()) << "the input observer did not come up";
    auto started = ServedKeyward::start();
    ASSERT_TRUE(started.has_value()) << started.error();
    keyward = std::move(*started);
  }

  // A session that shakes hands, enables control, sends `requests` and ends by closing its end;
  // every request must be answered {"ok":true}.
  RunResult controlled_session(std::vector<std::string> requests) {
    std::vector<std::string> steps{hello, enable};
    steps.insert(steps.end(), requests.begin(), requests.end());
    const RunResult run = keyward->session(steps);
    EXPECT_EQ(run.exit_code, 0u) << run.out << keyward->helper().err();
    const std::vector<std::string> got = replies(run);
    EXPECT_EQ(got.size(), steps.size()) << run.out;
    for (std::size_t i = 1; i < got.size(); ++i) {
      EXPECT_EQ(got[i], ok) << "reply to " << steps[i];
    }
    return run;
  }

  std::optional<Observer> observer;
  std::unique_ptr<ServedKeyward> keyward;
};

TEST_F(ServeInput, KeysArePressedAndReleasedByScanCodeWithTheExtendedFlag) {
  controlled_session({R"({"type":"key","code":"KeyA","down":true})",
                      R"({"type":"key","code":"KeyA","down":false})",
                      R"({"type":"key","code":"ArrowLeft","down":true})",
                      R"({"type":"key","code":"ArrowLeft"})"});
  EXPECT_EQ(observer->stop(), (std::vector{scan_down(0x1E), scan_up(0x1E), scan_down(0x4B, true),
                                           scan_up(0x4B, true)}));
}

TEST_F(ServeInput, ARepeatInjectsNothing) {
  // The pointer move afterwards marks the end: everything before it would have been the repeat.
  controlled_session({R"({"type":"key","code":"KeyQ","down":true,"repeat":true})",
                      R"({"type":"pointer","x":0,"y":0})"});
  EXPECT_EQ(observer->stop(), (std::vector{moved_to(0, 0)}));
}

TEST_F(ServeInput, TextIsTypedUnitByUnitIncludingLineFeedsAndSurrogatePairs) {
  controlled_session({R"({"type":"text","text":"a\nb😀"})"});
  EXPECT_EQ(observer->stop(), typed({0x61, 0x0A, 0x62, 0xD83D, 0xDE00}));
}

TEST_F(ServeInput, AButtonClickMovesThereFirst) {
  controlled_session({R"({"type":"button","button":0,"down":true,"x":0.25,"y":0.5})",
                      R"({"type":"button","button":0,"down":false,"x":0.25,"y":0.5})",
                      R"({"type":"button","button":2,"down":true,"x":0.5,"y":0.25})",
                      R"({"type":"button","button":2,"x":0.5,"y":0.25})"});
  const std::vector<ObservedEvent> events = observer->stop();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), moved_to(256, 384));
  EXPECT_EQ(without_moves(events),
            (std::vector{button(wm_lbuttondown, 256, 384), button(wm_lbuttonup, 256, 384),
                         button(wm_rbuttondown, 512, 192), button(wm_rbuttonup, 512, 192)}));
}

TEST_F(ServeInput, ScrollDownIsANegativeWheelTurnAndRightAPositiveOne) {
  controlled_session({R"({"type":"pointer","x":0.5,"y":0.5})",
                      R"({"type":"scroll","dy":120,"dx":-240})",
                      R"({"type":"scroll","dy":-360})",
                      R"({"type":"scroll","dx":120})"});
  // The wheel amount travels in the high word of mouseData.
  EXPECT_EQ(observer->stop(),
            (std::vector{moved_to(512, 384), wheel(wm_mousewheel, 512, 384, 0xFF880000u),
                         wheel(wm_mousehwheel, 512, 384, 0xFF100000u),
                         wheel(wm_mousewheel, 512, 384, 0x01680000u),
                         wheel(wm_mousehwheel, 512, 384, 0x00780000u)}));
}

TEST_F(ServeInput, PointerMovesAreAbsoluteAndNotLimitedToTheScreen) {
  controlled_session({R"({"type":"pointer","x":0.5,"y":1})", R"({"type":"pointer","x":-0.1,"y":1.2})"});
  EXPECT_EQ(observer->stop(), (std::vector{moved_to(512, 767), moved_to(-103, 921)}));
}

TEST_F(ServeInput, RefusedRequestsAreAnsweredWithTheirTextsAndInjectNothing) {
  const RunResult run = keyward->session({
      hello,
      R"({"type":"key","code":"KeyA","down":true})",
      enable,
      R"({"type":"key","code":"Insert","down":true})",
      R"({"type":"button","button":3,"down":true})",
      R"({"type":"text"})",
      R"({"type":"hello","protocol":1})",
      R"({"type":"pointer","x":0.5,"y":0})",
  });
  const std::vector<std::string> got = replies(run);
  ASSERT_EQ(got.size(), 8u) << run.out;
  EXPECT_EQ(got[1], R"({"error":"控制尚未开启","ok":false})");
  EXPECT_EQ(got[2], ok);
  EXPECT_EQ(got[3], R"({"error":"不支持此按键","ok":false})");
  EXPECT_EQ(got[4], R"({"error":"不支持此鼠标按钮","ok":false})");
  EXPECT_EQ(got[5], R"({"error":"文本请求缺少 text","ok":false})");
  EXPECT_EQ(got[6], R"({"error":"未知输入请求","ok":false})");
  EXPECT_EQ(got[7], ok);
  EXPECT_EQ(observer->stop(), (std::vector{moved_to(512, 0)}));
}

// What is held when the client lets go: two keys (one extended) and the right button.
const std::vector<std::string> hold_keys_and_button{
    R"({"type":"key","code":"KeyA","down":true})",
    R"({"type":"key","code":"ControlRight","down":true})",
    R"({"type":"button","button":2,"down":true,"x":0.5,"y":0.5})"};

void expect_released_keys_then_button(const std::vector<ObservedEvent>& releases) {
  ASSERT_EQ(releases.size(), 3u);
  const std::vector<ObservedEvent> keys(releases.begin(), releases.begin() + 2);
  EXPECT_TRUE(std::ranges::is_permutation(keys, std::vector{scan_up(0x1E), scan_up(0x9D, true)}))
      << keys[0] << " / " << keys[1];
  // Released where the pointer is, without a move.
  EXPECT_EQ(releases[2], button(wm_rbuttonup, 512, 384));
}

TEST_F(ServeInput, EverythingHeldIsReleasedWhenTheClientDisconnects) {
  controlled_session(hold_keys_and_button);
  // The helper notices the closed pipe on its own time; the button release comes last.
  ASSERT_TRUE(observer->wait_for_event(button(wm_rbuttonup, 512, 384), release_deadline));
  const std::vector<ObservedEvent> events = observer->stop();
  ASSERT_GE(events.size(), 3u);
  expect_released_keys_then_button({events.end() - 3, events.end()});
}

TEST_F(ServeInput, ReleaseLetsGoOfEverythingAndKeepsTheSession) {
  std::vector<std::string> requests = hold_keys_and_button;
  requests.push_back(R"({"type":"release"})");
  requests.push_back(R"({"type":"release"})");
  requests.push_back(R"({"type":"pointer","x":0,"y":0})");
  controlled_session(requests);
  const std::vector<ObservedEvent> events = observer->stop();
  ASSERT_GE(events.size(), 4u);
  // The releases come before the closing move; the second "release" found nothing held.
  EXPECT_EQ(events.back(), moved_to(0, 0));
  expect_released_keys_then_button({events.end() - 4, events.end() - 1});
}

TEST_F(ServeInput, DisableReleasesEverythingBeforeItIsAnswered) {
  std::vector<std::string> steps{hello, enable};
  steps.insert(steps.end(), hold_keys_and_button.begin(), hold_keys_and_button.end());
  steps.push_back(R"({"type":"disable"})");
  steps.push_back("@expect-close");
  const RunResult run = keyward->session(steps);
  const std::vector<std::string> got = replies(run);
  ASSERT_EQ(got.size(), 7u) << run.out;
  EXPECT_EQ(got[5], ok);
  EXPECT_EQ(got[6], "[closed]");
  // The client saw the answer only after the releases had gone through.
  const std::vector<ObservedEvent> events = observer->events();
  ASSERT_GE(events.size(), 3u);
  expect_released_keys_then_button({events.end() - 3, events.end()});
}

}  // namespace
}  // namespace vorlane::testing
