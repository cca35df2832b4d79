#include "src/common/error_text.hpp"

#include <cstdio>

namespace vorlane {

std::string system_error_text(std::string_view message, std::uint32_t code) {
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.remove_suffix(1);
  }
  std::string value = "(os error " + std::to_string(code) + ")";
  // A code the system has no text for shows the code alone, without a stray leading blank.
  return message.empty() ? value : std::string(message) + " " + value;
}

std::uint32_t hresult_from_win32(std::uint32_t code) {
  return hresult_win32_error_base | (code & 0xFFFFu);
}

std::string windows_error_text(const std::optional<std::string>& message, std::uint32_t code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", hresult_from_win32(code));
  std::string value = std::string("(") + hex + ")";
  if (!message) {
    return value;
  }
  std::string_view text = *message;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                           text.back() == '\t')) {
    text.remove_suffix(1);
  }
  if (text.empty()) {
    return value;
  }
  return std::string(text) + " " + value;
}

std::string win32_code_text(std::uint32_t code) {
  return "（Win32 " + std::to_string(code) + "）";
}

}  // namespace vorlane
