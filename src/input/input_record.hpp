#pragma once
// A portable mirror of the Windows INPUT record: the adapter copies it field by field.
#include <cstdint>

namespace vorlane::input {

enum class InputType : std::uint32_t { mouse = 0, keyboard = 1 };  // INPUT_MOUSE, INPUT_KEYBOARD

// Flag values of KEYBDINPUT and MOUSEINPUT.
inline constexpr std::uint32_t keyeventf_extendedkey = 0x0001;
inline constexpr std::uint32_t keyeventf_keyup = 0x0002;
inline constexpr std::uint32_t keyeventf_unicode = 0x0004;
inline constexpr std::uint32_t keyeventf_scancode = 0x0008;

inline constexpr std::uint32_t mouseeventf_move = 0x0001;
inline constexpr std::uint32_t mouseeventf_leftdown = 0x0002;
inline constexpr std::uint32_t mouseeventf_leftup = 0x0004;
inline constexpr std::uint32_t mouseeventf_rightdown = 0x0008;
inline constexpr std::uint32_t mouseeventf_rightup = 0x0010;
inline constexpr std::uint32_t mouseeventf_middledown = 0x0020;
inline constexpr std::uint32_t mouseeventf_middleup = 0x0040;
inline constexpr std::uint32_t mouseeventf_wheel = 0x0800;
inline constexpr std::uint32_t mouseeventf_hwheel = 0x1000;
inline constexpr std::uint32_t mouseeventf_absolute = 0x8000;

// Keyboard records use vk/scan, mouse records dx/dy/mouse_data; flags, time and extra_info are
// shared. Records built here always leave time and extra_info at 0.
struct InputRecord {
  InputType type = InputType::keyboard;
  std::uint16_t vk = 0;
  std::uint16_t scan = 0;
  std::int32_t dx = 0;
  std::int32_t dy = 0;
  std::uint32_t mouse_data = 0;
  std::uint32_t flags = 0;
  std::uint32_t time = 0;
  std::uintptr_t extra_info = 0;

  bool operator==(const InputRecord&) const = default;
};

constexpr InputRecord keyboard_record(std::uint16_t scan, std::uint32_t flags) {
  InputRecord r;
  r.type = InputType::keyboard;
  r.scan = scan;
  r.flags = flags;
  return r;
}

constexpr InputRecord mouse_record(std::int32_t dx, std::int32_t dy, std::uint32_t mouse_data,
                                   std::uint32_t flags) {
  InputRecord r;
  r.type = InputType::mouse;
  r.dx = dx;
  r.dy = dy;
  r.mouse_data = mouse_data;
  r.flags = flags;
  return r;
}

}  // namespace vorlane::input
