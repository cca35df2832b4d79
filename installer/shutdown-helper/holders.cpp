#include "installer/shutdown-helper/holders.hpp"

#include <array>
#include <cstdio>

#include "installer/shutdown-helper/constants.hpp"

namespace vorlane::haltgate {
namespace {

void append_escape(std::string& out, unsigned code_point) {
  std::array<char, 7> digits{};
  std::snprintf(digits.data(), digits.size(), "\\u%04X", code_point);
  out.append(digits.data());
}

}  // namespace

std::string quoted_field(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = [&](std::size_t k) {
      return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
    };
    if (byte == '"' || byte == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(byte));
    } else if (byte < 0x20 || byte == 0x7F) {
      append_escape(out, byte);
    } else if (byte == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) {
      // C1 controls, NEL among them, which some readers take for a line break.
      append_escape(out, next(1));
      i += 1;
    } else if (byte == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) {
      append_escape(out, 0x2000u + (next(2) - 0x80u));  // U+2028, U+2029: line and paragraph separators
      i += 2;
    } else {
      out.push_back(static_cast<char>(byte));
    }
  }
  out.push_back('"');
  return out;
}

std::string holder_line(const FileHolder& holder) {
  return std::string(log_holder_pid) + std::to_string(holder.pid) + std::string(log_holder_session) +
         std::to_string(holder.session) + std::string(log_holder_app) + quoted_field(holder.app) +
         std::string(log_holder_service) + quoted_field(holder.service);
}

std::optional<std::string> locked_file_of(std::string_view unlock_error) {
  // The separator holds a colon, which no file or folder name can: its first occurrence ends
  // the path, whatever the system's error text after it says.
  const auto separator = unlock_error.find(msg_still_in_use);
  if (separator == std::string_view::npos || separator == 0) {
    return std::nullopt;
  }
  return std::string(unlock_error.substr(0, separator));
}

std::vector<std::string> HolderReport::lines_for(std::string_view unlock_error) {
  if (holders_ == nullptr) {
    return {};
  }
  const auto file = locked_file_of(unlock_error);
  if (!file || !asked_.insert(*file).second) {
    return {};
  }
  const auto started = clock_.now();
  const auto holders = holders_->holders_of(*file, holder_query_budget);
  // The system's calls cannot be interrupted; an answer that came too late is dropped, so a
  // slow answer costs time once per file but never adds lines.
  if (!holders || clock_.now() - started > holder_query_budget) {
    return {};
  }
  std::vector<std::string> lines;
  for (const FileHolder& holder : *holders) {
    if (lines.size() == max_holder_lines) {
      break;
    }
    lines.push_back(holder_line(holder));
  }
  return lines;
}

}  // namespace vorlane::haltgate
