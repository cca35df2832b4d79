// Arbitrary client byte streams, cut into writes at arbitrary points, through read_message and
// through one whole test-mode session.
//
// Oracle: simdjson, a strict RFC 8259 parser, judges every complete line on its own.
// - A line read_message returns as a message is one JSON text to simdjson, at most 65,535
//   bytes long and nested at most 127 levels.
// - A line simdjson takes, within that size and nesting and therefore valid UTF-8, is returned
//   by read_message (or by parse_frame, for lines after the one that ended the session).
// - "消息不是 UTF-8" comes exactly for the lines simdjson's own UTF-8 check refuses.
// simdjson holds no integer beyond 64 bits, which JSON allows and the framing keeps as a
// floating-point value; such a literal is replaced by 0 before simdjson sees the line, judged by
// the literal itself, never by simdjson's error (it gives the same one for "123" followed by a
// NUL byte). A number beyond the double range is refused by both.
// Besides: every accepted value serialises into one line accepted again, the receive buffer
// stays bounded, and every reply of the session is a complete line.
#include <simdjson.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "src/input_helper/pipe/framing.hpp"
#include "src/input_helper/pipe/memory_pipe.hpp"
#include "src/input_helper/serve/serve_fakes.hpp"
#include "src/input_helper/serve/session.hpp"
#include "src/input_helper/serve/test_mode_controller.hpp"
#include "src/system/fake_elevation.hpp"

namespace {

using namespace vorlane;
using namespace vorlane::pipe;
using namespace vorlane::serve;
using namespace vorlane::system;

[[noreturn]] void disagree(const char* what, std::string_view line) {
  std::fprintf(stderr, "framing oracle: %s (line of %zu bytes)\n", what, line.size());
  std::abort();
}

// The first bytes choose the cut points; the rest is the stream.
std::vector<std::string> cut(const std::uint8_t* data, std::size_t size) {
  const std::size_t cuts = size > 0 ? std::min<std::size_t>(data[0] % 16, size - 1) : 0;
  const std::uint8_t* lengths = data + 1;
  std::size_t offset = 1 + cuts;
  std::vector<std::string> writes;
  for (std::size_t i = 0; i < cuts && offset < size; ++i) {
    const std::size_t length = std::min<std::size_t>(size - offset, lengths[i] * 37u % 5000u + 1);
    writes.emplace_back(reinterpret_cast<const char*>(data + offset), length);
    offset += length;
  }
  if (offset < size) writes.emplace_back(reinterpret_cast<const char*>(data + offset), size - offset);
  return writes;
}

bool is_number_byte(char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool is_json_number(std::string_view s) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    return i > from;
  };
  if (i < s.size() && s[i] == '-') ++i;
  if (i < s.size() && s[i] == '0') {
    ++i;
  } else if (!digits()) {
    return false;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == s.size();
}

// Decimal digit strings without leading zeros compare by length, then lexically.
bool digits_exceed(std::string_view digits, std::string_view max) {
  return digits.size() != max.size() ? digits.size() > max.size() : digits > max;
}

// An integer beyond 64 bits is a floating-point value to the framing and an error to simdjson.
// Beyond the double range both refuse a number, whatever its form.
bool beyond_oracle_range(std::string_view literal) {
  if (literal.find_first_of(".eE") != std::string_view::npos) return false;
  const bool beyond_64_bits = literal.front() == '-'
                                  ? digits_exceed(literal.substr(1), "9223372036854775808")
                                  : digits_exceed(literal, "18446744073709551615");
  return beyond_64_bits && std::isfinite(std::strtod(std::string(literal).c_str(), nullptr));
}

// The line with every out-of-range number literal outside strings replaced by 0. A maximal run
// of number bytes is one token in any valid text, so validity is unchanged.
std::string within_oracle_range(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  bool in_string = false;
  bool escaped = false;
  for (std::size_t i = 0; i < line.size();) {
    const char c = line[i];
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
      out.push_back(c);
      ++i;
    } else if (c == '"') {
      in_string = true;
      out.push_back(c);
      ++i;
    } else if (is_number_byte(c)) {
      std::size_t end = i;
      while (end < line.size() && is_number_byte(line[end])) ++end;
      const std::string_view literal = line.substr(i, end - i);
      out.append(is_json_number(literal) && beyond_oracle_range(literal) ? "0" : literal);
      i = end;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

int depth_of(simdjson::dom::element element) {
  int deepest = 0;
  if (element.is_array()) {
    const simdjson::dom::array children = element.get_array().value_unsafe();
    for (const auto child : children) deepest = std::max(deepest, depth_of(child));
    return deepest + 1;
  }
  if (element.is_object()) {
    const simdjson::dom::object members = element.get_object().value_unsafe();
    for (const auto member : members) deepest = std::max(deepest, depth_of(member.value));
    return deepest + 1;
  }
  return 0;
}

simdjson::dom::parser& oracle_parser() {
  static simdjson::dom::parser parser;
  return parser;
}

struct Verdict {
  bool utf8 = false;
  bool accepted = false;  // one JSON text, within the framing's size and nesting
};

Verdict judge(std::string_view line) {
  Verdict verdict;
  verdict.utf8 = simdjson::validate_utf8(line.data(), line.size());
  if (!verdict.utf8 || line.size() + 1 > max_frame_bytes) return verdict;
  const simdjson::padded_string text(within_oracle_range(line));
  simdjson::dom::element root;
  if (oracle_parser().parse(text).get(root) != simdjson::SUCCESS) return verdict;
  verdict.accepted = depth_of(root) <= max_nesting_depth;
  return verdict;
}

void check_accepted(const JsonValue& value, std::string_view line, const Verdict& verdict) {
  if (!verdict.accepted) disagree("accepted a line the validator refuses", line);
  // Whatever was accepted must serialise, as one line, into something accepted again.
  const auto text = serialize_message(value);
  if (!text || text->find('\n') != std::string::npos || !parse_frame(*text)) {
    disagree("an accepted value does not come back as one accepted line", line);
  }
}

void check_refused(std::string_view reason, std::string_view line, const Verdict& verdict) {
  if (verdict.accepted) disagree("refused a line the validator accepts", line);
  const bool too_long = line.size() + 1 > max_frame_bytes;
  if ((reason == too_long_text) != too_long) disagree("the size verdict is wrong", line);
  if (too_long) return;
  if (reason != not_utf8_text && reason != not_json_text) {
    disagree("a complete line refused with a text that is not about the line", line);
  }
  if ((reason == not_utf8_text) == verdict.utf8) {
    disagree("the UTF-8 verdict differs from the validator's", line);
  }
}

void check_messages(const std::vector<std::string>& writes) {
  MemoryPipe pipe;
  ManualClock clock;
  std::string stream;
  for (const auto& bytes : writes) {
    pipe.deliver(bytes);
    stream += bytes;
  }
  pipe.close_client();
  PipeConnection connection(pipe, clock);
  bool session_open = true;
  std::size_t start = 0;
  for (std::size_t newline; (newline = stream.find('\n', start)) != std::string::npos; start = newline + 1) {
    const std::string_view line = std::string_view(stream).substr(start, newline - start);
    const Verdict verdict = judge(line);
    if (!session_open) {
      // The session is over; the lines after are still judged by the same parser.
      if (line.size() + 1 > max_frame_bytes) continue;
      const auto value = parse_frame(line);
      if (value) {
        check_accepted(*value, line, verdict);
      } else {
        check_refused(value.error(), line, verdict);
      }
      continue;
    }
    ReadOutcome outcome = read_message(connection, std::chrono::seconds(1));
    if (connection.buffer().size() > max_frame_bytes + read_chunk_bytes) {
      disagree("the receive buffer outgrew one frame and one chunk", line);
    }
    if (const auto* value = std::get_if<JsonValue>(&outcome)) {
      check_accepted(*value, line, verdict);
    } else if (const auto* failure = std::get_if<ReadFailed>(&outcome)) {
      session_open = false;
      check_refused(failure->text, line, verdict);
    } else {
      disagree("timed out with a complete line buffered", line);
    }
  }
}

void run_one_session(const std::vector<std::string>& writes) {
  Journal journal;
  FakeQueries queries(journal);
  MemoryPipe pipe;
  ManualClock clock;
  for (const auto& bytes : writes) pipe.deliver(bytes);
  pipe.close_client();
  PipeConnection connection(pipe, clock);
  TestModeController controller;
  FakeElevation elevation;
  (void)run_session(connection, controller, queries, elevation, nullptr, 0);
  // Every reply is one complete line.
  if (!pipe.written.empty() && pipe.written.back() != '\n') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto writes = cut(data, size);
  check_messages(writes);
  run_one_session(writes);
  return 0;
}
