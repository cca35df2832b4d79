#include "src/input_helper/pipe/framing.hpp"

#include <algorithm>
#include <exception>

#include "src/common/text.hpp"
#include "src/common/write_all.hpp"

namespace vorlane::pipe {

namespace {

// The JSON library nests without limit; a cheap scan refuses the 128th level before parsing.
bool nesting_within_limit(std::string_view text) {
  int depth = 0;
  bool in_string = false;
  bool escaped = false;
  for (const char c : text) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
      continue;
    }
    switch (c) {
      case '"':
        in_string = true;
        break;
      case '[':
      case '{':
        if (++depth > max_nesting_depth) return false;
        break;
      case ']':
      case '}':
        --depth;
        break;
      default:
        break;
    }
  }
  return true;
}

ReadFailed failed(std::string_view text) { return ReadFailed{std::string(text)}; }

}  // namespace

std::expected<JsonValue, std::string> parse_frame(std::string_view line) {
  if (!is_valid_utf8(line)) return std::unexpected(std::string(not_utf8_text));
  // The parser would skip a byte-order mark silently, and it takes a NUL byte for the end of
  // the input and ignores what follows; neither can be part of a JSON text.
  if (line.starts_with("\xEF\xBB\xBF") || line.find('\0') != std::string_view::npos ||
      !nesting_within_limit(line)) {
    return std::unexpected(std::string(not_json_text));
  }
  JsonValue value = JsonValue::parse(line.begin(), line.end(), nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) return std::unexpected(std::string(not_json_text));
  return value;
}

ReadOutcome read_message(PipeConnection& connection, std::chrono::milliseconds deadline_after) {
  Clock& clock = connection.clock();
  std::string& buffer = connection.buffer();
  const auto deadline = clock.now() + deadline_after;
  char chunk[read_chunk_bytes];
  for (;;) {
    if (const auto newline = buffer.find('\n'); newline != std::string::npos) {
      const std::string line = buffer.substr(0, newline);
      buffer.erase(0, newline + 1);
      if (newline + 1 > max_frame_bytes) return failed(too_long_text);
      auto value = parse_frame(line);
      if (!value) return ReadFailed{std::move(value.error())};
      return std::move(*value);
    }
    if (buffer.size() > max_frame_bytes) return failed(too_long_text);

    const auto waiting = connection.io().peek();
    if (!waiting) return ReadFailed{std::string(read_failed_prefix) + waiting.error()};
    if (*waiting == 0) {
      if (clock.now() >= deadline) return TimedOut{};
      clock.sleep(poll_interval);
      continue;
    }
    const auto got = connection.io().read(chunk, std::min(*waiting, sizeof chunk));
    if (!got) return ReadFailed{std::string(read_failed_prefix) + got.error()};
    if (*got == 0) return failed(disconnected_text);
    buffer.append(chunk, *got);
  }
}

std::expected<std::string, std::string> serialize_message(const JsonValue& value) {
  try {
    return value.dump(-1, ' ', /*ensure_ascii=*/false, JsonValue::error_handler_t::strict);
  } catch (const std::exception& e) {
    return std::unexpected(std::string(serialize_failed_prefix) + e.what());
  }
}

std::expected<void, std::string> write_message(PipeConnection& connection, const JsonValue& value) {
  auto text = serialize_message(value);
  if (!text) return std::unexpected(std::move(text.error()));
  if (text->size() > max_outgoing_text_bytes) {
    return std::unexpected(std::string(too_long_text));
  }
  text->push_back('\n');
  return write_all(
      *text,
      [&connection](std::string_view piece) -> std::expected<std::size_t, std::string> {
        const auto wrote = connection.io().write(piece.data(), piece.size());
        if (!wrote) return std::unexpected(std::string(write_failed_prefix) + wrote.error());
        return *wrote;
      },
      [] { return std::string(disconnected_text); });
}

JsonValue ok_reply() { return JsonValue{{"ok", true}}; }

JsonValue error_reply(std::string_view text) {
  return JsonValue{{"error", std::string(text)}, {"ok", false}};
}

}  // namespace vorlane::pipe
