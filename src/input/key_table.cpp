#include "src/input/key_table.hpp"

#include <array>

namespace vorlane::input {
namespace {

constexpr KeyTableEntry entry(std::string_view name, std::uint16_t scan, bool extended = false) {
  return {name, {scan, extended}};
}

// Scan code set 1 make codes; `extended` stands for the E0 prefix. The right-hand Control and
// Alt carry 0x9D and 0xB8 (their make codes with the high bit set), sent in wScan as they stand.
constexpr std::array key_entries{
    entry("KeyA", 0x1E), entry("KeyB", 0x30), entry("KeyC", 0x2E), entry("KeyD", 0x20),
    entry("KeyE", 0x12), entry("KeyF", 0x21), entry("KeyG", 0x22), entry("KeyH", 0x23),
    entry("KeyI", 0x17), entry("KeyJ", 0x24), entry("KeyK", 0x25), entry("KeyL", 0x26),
    entry("KeyM", 0x32), entry("KeyN", 0x31), entry("KeyO", 0x18), entry("KeyP", 0x19),
    entry("KeyQ", 0x10), entry("KeyR", 0x13), entry("KeyS", 0x1F), entry("KeyT", 0x14),
    entry("KeyU", 0x16), entry("KeyV", 0x2F), entry("KeyW", 0x11), entry("KeyX", 0x2D),
    entry("KeyY", 0x15), entry("KeyZ", 0x2C),

    entry("Digit1", 0x02), entry("Digit2", 0x03), entry("Digit3", 0x04), entry("Digit4", 0x05),
    entry("Digit5", 0x06), entry("Digit6", 0x07), entry("Digit7", 0x08), entry("Digit8", 0x09),
    entry("Digit9", 0x0A), entry("Digit0", 0x0B),

    entry("F1", 0x3B), entry("F2", 0x3C), entry("F3", 0x3D), entry("F4", 0x3E),
    entry("F5", 0x3F), entry("F6", 0x40), entry("F7", 0x41), entry("F8", 0x42),
    entry("F9", 0x43), entry("F10", 0x44), entry("F11", 0x57), entry("F12", 0x58),

    entry("Escape", 0x01), entry("Minus", 0x0C), entry("Equal", 0x0D),
    entry("Backspace", 0x0E), entry("Tab", 0x0F), entry("BracketLeft", 0x1A),
    entry("BracketRight", 0x1B), entry("Enter", 0x1C), entry("ControlLeft", 0x1D),
    entry("Semicolon", 0x27), entry("Quote", 0x28), entry("Backquote", 0x29),
    entry("ShiftLeft", 0x2A), entry("Backslash", 0x2B), entry("Comma", 0x33),
    entry("Period", 0x34), entry("Slash", 0x35), entry("ShiftRight", 0x36),
    entry("AltLeft", 0x38), entry("Space", 0x39),

    entry("ControlRight", 0x9D, true), entry("AltRight", 0xB8, true),
    entry("Home", 0x47, true), entry("ArrowUp", 0x48, true), entry("PageUp", 0x49, true),
    entry("ArrowLeft", 0x4B, true), entry("ArrowRight", 0x4D, true), entry("End", 0x4F, true),
    entry("ArrowDown", 0x50, true), entry("PageDown", 0x51, true), entry("Delete", 0x53, true),
    entry("MetaLeft", 0x5B, true), entry("MetaRight", 0x5C, true),
};
static_assert(key_entries.size() == 81);

constexpr std::size_t shortest_name = 2;
constexpr std::size_t longest_name = 12;

}  // namespace

std::optional<KeyCode> lookup_key_code(std::string_view name) noexcept {
  if (name.size() < shortest_name || name.size() > longest_name) {
    return std::nullopt;
  }
  // string_view equality compares lengths first, so this is a length match followed by a
  // comparison with the few names of that length.
  for (const KeyTableEntry& key : key_entries) {
    if (key.name == name) {
      return key.code;
    }
  }
  return std::nullopt;
}

std::span<const KeyTableEntry> key_table() noexcept { return key_entries; }

}  // namespace vorlane::input
