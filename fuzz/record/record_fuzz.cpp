// Arbitrary bytes as a setup record file.
//
// Oracle:
// - The reader never crashes, whatever the bytes.
// - A record it accepts, written again by the record writer, reads back to the same seven
//   fields; and the writer's bytes are what the writer makes of those fields again.
// - An accepted file is one complete JSON object or array, so any byte that is not JSON white
//   space appended to it makes it invalid (a reader that stops early, at a NUL byte for
//   instance, would take it).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "src/setup/record.hpp"

namespace {

using vorlane::setup::HelperRecord;
using vorlane::setup::parse_record;
using vorlane::setup::serialize_record;

[[noreturn]] void disagree(const char* what) {
  std::fprintf(stderr, "record oracle: %s\n", what);
  std::abort();
}

bool same_fields(const HelperRecord& a, const HelperRecord& b) {
  return a.schema == b.schema && a.protocol == b.protocol && a.version == b.version &&
         a.user_sid == b.user_sid && a.gui_path == b.gui_path && a.task_name == b.task_name &&
         a.installed_at == b.installed_at;
}

bool is_json_white_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The last byte is the one appended to an accepted file; the rest is the file.
  const std::string_view bytes(reinterpret_cast<const char*>(data), size - 1);
  const char appended = static_cast<char>(data[size - 1]);
  const auto record = parse_record(bytes);
  if (!record) return 0;

  const auto written = serialize_record(*record);
  if (!written) disagree("an accepted record cannot be written");
  const auto reread = parse_record(*written);
  if (!reread) disagree("the written record is not accepted");
  if (!same_fields(*record, *reread)) disagree("the written record reads back to other fields");
  if (serialize_record(*reread) != written) disagree("writing the record again gives other bytes");

  if (!is_json_white_space(appended) && parse_record(std::string(bytes) + appended)) {
    disagree("a byte after the accepted text is ignored");
  }
  return 0;
}
