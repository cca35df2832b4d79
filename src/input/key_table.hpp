#pragma once
// Key-position names ("KeyA", "ArrowLeft", ...) mapped to the scan codes they are injected with.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vorlane::input {

struct KeyCode {
  std::uint16_t scan = 0;
  bool extended = false;  // KEYEVENTF_EXTENDEDKEY, the E0 prefix of scan code set 1

  bool operator==(const KeyCode&) const = default;
};

struct KeyTableEntry {
  std::string_view name;
  KeyCode code;
};

// Exact, case-sensitive match; allocates nothing.
std::optional<KeyCode> lookup_key_code(std::string_view name) noexcept;

// The whole table, for tests and tools.
std::span<const KeyTableEntry> key_table() noexcept;

}  // namespace vorlane::input
