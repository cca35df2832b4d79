#pragma once
// Turns accepted input requests into records and hands them to Windows in as few calls as the
// per-call limit allows.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "src/input/failure_diagnosis.hpp"
#include "src/input/input_record.hpp"
#include "src/input/key_table.hpp"

namespace vorlane::input {

// The one way records reach the system. The Windows version calls SendInput and, on a short
// count, reads the last error immediately.
class InputSink {
 public:
  struct [[nodiscard]] Outcome {
    std::uint32_t sent = 0;
    std::uint32_t error = 0;  // meaningful only when fewer records were accepted than handed over
  };
  virtual ~InputSink() = default;
  // `records` holds at most `max_records_per_call` records.
  virtual Outcome send(std::span<const InputRecord> records) = 0;
};

inline constexpr std::size_t max_records_per_call = 64;
inline constexpr double absolute_coordinate_scale = 65535.0;

// A fraction of the primary display (absent: 0) to the absolute coordinate space: scaled,
// rounded half away from zero, limited to 32 bits, NaN as 0. Not limited to the display.
std::int32_t absolute_coordinate(std::optional<double> fraction) noexcept;
// Wheel-delta units as given, rounded and limited the same way, without scaling.
std::int32_t wheel_amount(double units) noexcept;

InputRecord key_record(KeyCode key, bool press) noexcept;
// Two records (press, release) per UTF-16 unit of the text, in order.
void append_text_records(std::string_view utf8, std::vector<InputRecord>& records);
// The absolute move, then the button event at the same place. `button` is 0, 1 or 2.
std::vector<InputRecord> button_records(std::int32_t x, std::int32_t y, std::uint8_t button,
                                        bool press);
// Vertical wheel first (sign inverted: positive dy turns the wheel towards the user), then
// horizontal; a zero or absent amount gives no record.
std::vector<InputRecord> scroll_records(std::optional<double> dx, std::optional<double> dy);
InputRecord pointer_record(std::int32_t x, std::int32_t y) noexcept;
// Key-up for a held key; button-up for a held button wherever the pointer is.
InputRecord key_release_record(KeyCode key) noexcept;
InputRecord button_release_record(std::uint8_t button) noexcept;

// Sends in chunks of at most `max_records_per_call`; stops at the first short count and
// returns the explanation. Records of earlier chunks stay injected.
[[nodiscard]] std::expected<void, std::string> send_inputs(InputSink& sink, InjectionProbe& probe,
                                                         system::ElevationQuery& elevation,
                                                         std::span<const InputRecord> records);

}  // namespace vorlane::input
