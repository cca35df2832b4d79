#pragma once
// The per-user setup record and its file format.
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace vorlane::setup {

struct HelperRecord {
  std::uint32_t schema = 1;
  std::uint32_t protocol = 1;
  std::string version;
  std::string user_sid;
  std::string gui_path;
  std::string task_name;
  std::uint64_t installed_at = 0;
};

// The exact bytes of the record file: pretty layout, the seven members in order, no final line
// break. Fails with the serialiser's own text.
[[nodiscard]] std::expected<std::string, std::string> serialize_record(const HelperRecord& record);

// Strict reading: an object with each of the seven members exactly once (unknown members skipped)
// or an array of exactly seven values. The error says what was wrong (for tests and diagnostics).
[[nodiscard]] std::expected<HelperRecord, std::string> parse_record(std::string_view bytes);

}  // namespace vorlane::setup
