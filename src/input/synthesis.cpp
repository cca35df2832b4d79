#include "src/input/synthesis.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "src/common/text.hpp"

namespace vorlane::input {
namespace {

constexpr std::uint32_t absolute_move = mouseeventf_move | mouseeventf_absolute;

struct ButtonFlags {
  std::uint32_t press;
  std::uint32_t release;
};
// Indexed by button number: 0 left, 1 middle, 2 right.
constexpr ButtonFlags button_flags[] = {
    {mouseeventf_leftdown, mouseeventf_leftup},
    {mouseeventf_middledown, mouseeventf_middleup},
    {mouseeventf_rightdown, mouseeventf_rightup},
};

std::int32_t round_to_int32(double value) noexcept {
  if (std::isnan(value)) {
    return 0;
  }
  const double rounded = std::round(value);  // halves away from zero
  constexpr double lowest = std::numeric_limits<std::int32_t>::min();
  constexpr double highest = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(rounded, lowest, highest));
}

}  // namespace

std::int32_t absolute_coordinate(std::optional<double> fraction) noexcept {
  return fraction ? round_to_int32(*fraction * absolute_coordinate_scale) : 0;
}

std::int32_t wheel_amount(double units) noexcept { return round_to_int32(units); }

InputRecord key_record(KeyCode key, bool press) noexcept {
  std::uint32_t flags = keyeventf_scancode;
  if (key.extended) {
    flags |= keyeventf_extendedkey;
  }
  if (!press) {
    flags |= keyeventf_keyup;
  }
  return keyboard_record(key.scan, flags);
}

void append_text_records(std::string_view utf8, std::vector<InputRecord>& records) {
  const std::u16string units = utf8_to_utf16(utf8);
  records.reserve(records.size() + 2 * units.size());
  for (const char16_t unit : units) {
    records.push_back(keyboard_record(unit, keyeventf_unicode));
    records.push_back(keyboard_record(unit, keyeventf_unicode | keyeventf_keyup));
  }
}

std::vector<InputRecord> button_records(std::int32_t x, std::int32_t y, std::uint8_t button,
                                        bool press) {
  const ButtonFlags& flags = button_flags[std::min<std::size_t>(button, 2)];
  return {
      mouse_record(x, y, 0, absolute_move),
      mouse_record(x, y, 0, (press ? flags.press : flags.release) | absolute_move),
  };
}

std::vector<InputRecord> scroll_records(std::optional<double> dx, std::optional<double> dy) {
  std::vector<InputRecord> records;
  // A value that is not 0 but rounds to 0 still gets its record: the client asked for a turn.
  if (dy && *dy != 0) {
    const auto amount = static_cast<std::uint32_t>(wheel_amount(-*dy));
    records.push_back(mouse_record(0, 0, amount, mouseeventf_wheel));
  }
  if (dx && *dx != 0) {
    const auto amount = static_cast<std::uint32_t>(wheel_amount(*dx));
    records.push_back(mouse_record(0, 0, amount, mouseeventf_hwheel));
  }
  return records;
}

InputRecord pointer_record(std::int32_t x, std::int32_t y) noexcept {
  return mouse_record(x, y, 0, absolute_move);
}

InputRecord key_release_record(KeyCode key) noexcept { return key_record(key, false); }

InputRecord button_release_record(std::uint8_t button) noexcept {
  // Any number outside 0..1 releases the right button.
  return mouse_record(0, 0, 0, button_flags[std::min<std::size_t>(button, 2)].release);
}

std::expected<void, std::string> send_inputs(InputSink& sink, InjectionProbe& probe,
                                             system::ElevationQuery& elevation,
                                             std::span<const InputRecord> records) {
  while (!records.empty()) {
    const std::size_t count = std::min(records.size(), max_records_per_call);
    const InputSink::Outcome outcome = sink.send(records.first(count));
    if (outcome.sent != count) {
      return std::unexpected(describe_injection_failure(
          probe, elevation, outcome.sent, static_cast<std::uint32_t>(count), outcome.error));
    }
    records = records.subspan(count);
  }
  return {};
}

}  // namespace vorlane::input
