// Probe: the scan codes Keyward sends for the right-hand Control and Alt keys make Windows
// derive VK_RCONTROL and VK_RMENU, as a low-level keyboard hook in another program sees them.
// What Windows derived is recorded either way. Sends input to the desktop.
#include <algorithm>
#include <iostream>
#include <sstream>

#include <gtest/gtest.h>

#include "src/input/send_input_controller_win32.hpp"
#include "src/system/queries_win32.hpp"
#include "tests/e2e/keyward_input/observer.hpp"
#include "tests/probes/probe.hpp"

namespace vorlane::testing {
namespace {

constexpr std::uint32_t vk_rcontrol = 0xA3;
constexpr std::uint32_t vk_rmenu = 0xA5;
constexpr unsigned wm_syskeydown = 0x0104;

TEST(KeyDerivation, AHookSeesRightControlAndRightAlt) {
  auto observer = Observer::start();
  ASSERT_TRUE(observer.has_value()) << "the input observer did not come up";
  system::OwnElevationWin32 elevation;
  const auto controller = input::make_send_input_controller(elevation);
  ASSERT_TRUE(controller->set_enabled(true).has_value());

  struct Key {
    const char* code;
    std::uint32_t expected_vk;
    std::vector<ObservedEvent> seen;
  };
  Key keys[] = {{"ControlRight", vk_rcontrol, {}}, {"AltRight", vk_rmenu, {}}};
  std::ostringstream observed;
  for (auto& key : keys) {
    const std::size_t before = observer->events().size();
    // Down, then up at once, so no key stays held whatever happens next.
    for (const bool down : {true, false}) {
      const std::string request = std::string(R"({"type":"key","code":")") + key.code +
                                  R"(","down":)" + (down ? "true" : "false") + "}";
      const auto result = controller->execute(JsonValue::parse(request));
      EXPECT_TRUE(result.has_value()) << request << ": " << result.error();
    }
    ::Sleep(300);
    const auto events = observer->events();
    key.seen.assign(events.begin() + static_cast<std::ptrdiff_t>(before), events.end());
    observed << key.code << ":";
    for (const auto& event : key.seen) {
      if (event.kind != ObservedEvent::Kind::key) continue;
      observed << " msg=0x" << std::hex << event.message << " vk=0x" << event.vk << " scan=0x"
               << event.scan << std::dec << ";";
    }
    observed << " ";
  }
  observer->stop();
  ::testing::Test::RecordProperty("observed", observed.str());
  std::cout << observed.str() << "\n";

  const auto derived = [](const Key& key, std::uint32_t vk) {
    for (const auto& event : key.seen) {
      if (event.kind == ObservedEvent::Kind::key &&
          (event.message == wm_keydown || event.message == wm_syskeydown) && event.vk == vk) {
        return true;
      }
    }
    return false;
  };
  const bool any_vk = std::any_of(std::begin(keys), std::end(keys), [](const Key& key) {
    return std::any_of(key.seen.begin(), key.seen.end(), [](const ObservedEvent& e) { return e.vk != 0; });
  });
  VORLANE_PROBE_REQUIRE(any_vk, "no virtual key is derived from scan codes (the hook sees vkCode 0): " +
                                    observed.str());
  for (const auto& key : keys) {
    EXPECT_TRUE(derived(key, key.expected_vk))
        << key.code << " did not arrive as virtual key 0x" << std::hex << key.expected_vk;
  }
}

}  // namespace
}  // namespace vorlane::testing
