#pragma once
// Runs the input observer stand-in beside a test and hands back what its hooks saw.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "src/common/win32/unique_handle.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {

inline constexpr unsigned wm_mousemove = 0x0200;
inline constexpr unsigned wm_keydown = 0x0100;
inline constexpr unsigned wm_keyup = 0x0101;
inline constexpr unsigned wm_lbuttondown = 0x0201;
inline constexpr unsigned wm_lbuttonup = 0x0202;
inline constexpr unsigned wm_rbuttondown = 0x0204;
inline constexpr unsigned wm_rbuttonup = 0x0205;
inline constexpr unsigned wm_mbuttondown = 0x0207;
inline constexpr unsigned wm_mbuttonup = 0x0208;
inline constexpr unsigned wm_mousewheel = 0x020A;
inline constexpr unsigned wm_mousehwheel = 0x020E;

struct ObservedEvent {
  enum class Kind { key, mouse } kind = Kind::key;
  unsigned message = 0;
  std::uint32_t vk = 0, scan = 0;           // keys
  long x = 0, y = 0;                        // mouse
  std::uint32_t data = 0, flags = 0;

  bool operator==(const ObservedEvent&) const = default;
};

ObservedEvent key_event(unsigned message, std::uint32_t vk, std::uint32_t scan, std::uint32_t flags);
ObservedEvent mouse_event(unsigned message, long x, long y, std::uint32_t data, std::uint32_t flags);
std::ostream& operator<<(std::ostream& out, const ObservedEvent& event);

class Observer {
 public:
  // Starts the observer and waits until its hooks are in place; absent if it did not come up.
  static std::optional<Observer> start();

  // The events printed so far, in order.
  std::vector<ObservedEvent> events() const;
  // Waits until `event` has been printed; false when the time runs out.
  bool wait_for_event(const ObservedEvent& event, std::chrono::milliseconds timeout) const;
  // Stops it and returns every event it printed, in order.
  std::vector<ObservedEvent> stop();

 private:
  Observer() = default;
  win32::unique_handle stop_event_;
  Child child_;
};

}  // namespace vorlane::testing
