#pragma once
// Newline-framed JSON over the helper's byte-mode pipe, and the reply envelope.
#include <chrono>
#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <variant>

#include "src/common/json_member.hpp"
#include "src/input_helper/pipe/pipe_io.hpp"

namespace vorlane::pipe {


// An incoming frame, line feed included, may be this long; so the JSON text is one byte shorter.
inline constexpr std::size_t max_frame_bytes = 65536;
// An outgoing JSON text may be this long before its line feed.
inline constexpr std::size_t max_outgoing_text_bytes = 65536;
inline constexpr std::size_t read_chunk_bytes = 4096;
inline constexpr int max_nesting_depth = 127;
inline constexpr std::chrono::milliseconds poll_interval{10};

inline constexpr std::string_view too_long_text = "消息超过 64 KiB 上限";
inline constexpr std::string_view not_utf8_text = "消息不是 UTF-8";
inline constexpr std::string_view not_json_text = "消息不是有效 JSON";
inline constexpr std::string_view read_failed_prefix = "管道读取失败：";
inline constexpr std::string_view write_failed_prefix = "管道写入失败：";
// A read or write that moved no byte: the other end is treated as gone.
inline constexpr std::string_view disconnected_text = "输入助手客户端已断开";
inline constexpr std::string_view serialize_failed_prefix = "消息序列化失败：";

// One connected client: the pipe plus the bytes that arrived but were not consumed yet.
// The buffer lives for the whole session, so a second frame that came with the first is kept.
class PipeConnection {
 public:
  PipeConnection(PipeIo& io, Clock& clock) : io_(io), clock_(clock) {}
  PipeIo& io() { return io_; }
  Clock& clock() { return clock_; }
  std::string& buffer() { return buffer_; }

 private:
  PipeIo& io_;
  Clock& clock_;
  std::string buffer_;
};

struct [[nodiscard]] TimedOut {};
struct [[nodiscard]] ReadFailed {
  std::string text;
};
// Message, timed out, or failed with the text that ends the session.
using ReadOutcome = std::variant<JsonValue, TimedOut, ReadFailed>;

// Waits at most `deadline_after` for a complete line; a client that has gone ends the read as a
// pipe failure.
[[nodiscard]] ReadOutcome read_message(PipeConnection& connection,
                                       std::chrono::milliseconds deadline_after);
[[nodiscard]] std::expected<void, std::string> write_message(PipeConnection& connection, const JsonValue& value);

// One line without its line feed: UTF-8 check, nesting limit, exactly one JSON text.
[[nodiscard]] std::expected<JsonValue, std::string> parse_frame(std::string_view line);
// Compact text, members in byte order, raw UTF-8; the line feed is not added.
[[nodiscard]] std::expected<std::string, std::string> serialize_message(const JsonValue& value);

// Reply envelope.
JsonValue ok_reply();
JsonValue error_reply(std::string_view text);

}  // namespace vorlane::pipe
