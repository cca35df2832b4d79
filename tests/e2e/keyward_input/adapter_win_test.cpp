// The Windows adapter of the controller, in process: every kind of record it converts reaches
// the system as sent, as a low-level hook in another process sees it.
#include <gtest/gtest.h>

#include "input/send_input_controller_win32.hpp"
#include "tests/e2e/keyward_input/observer.hpp"

namespace vorlane::testing {
namespace {

TEST(SendInputAdapter, KeyboardUnicodeAndMouseRecordsReachTheSystemAsSent) {
  auto observer = Observer::start();
  ASSERT_TRUE(observer.has_value()) << "the input observer did not come up";
  const auto controller = win32::make_send_input_controller();
  ASSERT_TRUE(controller->set_enabled(true).has_value());

  const char* requests[] = {
      R"({"type":"key","code":"ArrowLeft","down":true})",
      R"({"type":"key","code":"ArrowLeft","down":false})",
      R"({"type":"text","text":"é"})",
      R"({"type":"pointer","x":0.5,"y":1})",
      R"({"type":"scroll","dy":120})",
  };
  for (const char* request : requests) {
    const auto result = controller->execute(JsonValue::parse(request));
    EXPECT_TRUE(result.has_value()) << request << ": " << result.error();
  }
  const std::vector<ObservedEvent> expected{
      key_event(wm_keydown, 0, 0x4B, 0x11),
      key_event(wm_keyup, 0, 0x4B, 0x91),
      key_event(wm_keydown, 0xE7, 0xE9, 0x10),
      key_event(wm_keyup, 0xE7, 0xE9, 0x10),
      mouse_event(wm_mousemove, 512, 767, 0, 0x01),
      mouse_event(wm_mousewheel, 512, 767, 0xFF880000u, 0x01),
  };
  EXPECT_EQ(observer->stop(), expected);
}

}  // namespace
}  // namespace vorlane::testing
