#pragma once
// An in-memory stand-in for one connected pipe. Used with the manual clock by the unit tests,
// the fuzz target and the benchmarks.
#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <string>

#include "src/common/error_text.hpp"
#include "src/common/manual_clock.hpp"
#include "src/input_helper/pipe/pipe_io.hpp"

namespace vorlane::pipe {

class MemoryPipe final : public PipeIo {
 public:
  // The text the Windows adapter renders for a client that has gone.
  static std::string broken_pipe_text() {
    return windows_error_text("The pipe has been ended.\r\n", error_broken_pipe);
  }

  // Each delivery becomes visible to peek() as one unit, like one write by the client.
  void deliver(std::string bytes) { arrivals_.push_back(std::move(bytes)); }
  // The client closes its end after its last write: once the queued bytes are read, peek and
  // read fail as they do on the real pipe.
  void close_client() { closed_ = true; }
  void fail_peek(std::string text) { peek_error_ = std::move(text); }
  void fail_read(std::string text) { read_error_ = std::move(text); }
  // Writes fail with `text` once `after_bytes` have gone out.
  void fail_write(std::string text, std::size_t after_bytes = 0) {
    write_error_ = std::move(text);
    write_error_after_ = after_bytes;
  }
  // Each write call accepts at most this many bytes.
  void limit_writes(std::size_t bytes) { write_limit_ = bytes; }
  // A pipe that reports success without moving a byte, which the framing must not take for
  // progress: reads return 0 after a peek said bytes are waiting, writes take nothing.
  void stall() {
    stalled_ = true;
    write_limit_ = 0;
  }

  std::string written;
  int peeks = 0;
  int reads = 0;

  std::expected<std::size_t, std::string> peek() override {
    ++peeks;
    if (peek_error_) return std::unexpected(*peek_error_);
    if (arrivals_.empty()) {
      if (closed_) return std::unexpected(broken_pipe_text());
      return 0;
    }
    std::size_t total = 0;
    for (const auto& bytes : arrivals_) total += bytes.size();
    return total;
  }
  std::expected<std::size_t, std::string> read(char* buffer, std::size_t size) override {
    ++reads;
    if (read_error_) return std::unexpected(*read_error_);
    if (stalled_) return 0;
    // The real pipe would block here, or fail once the client is gone; the framing reads only
    // what a peek reported.
    if (arrivals_.empty()) return std::unexpected(broken_pipe_text());
    std::string& front = arrivals_.front();
    const std::size_t n = std::min(size, front.size());
    std::memcpy(buffer, front.data(), n);
    front.erase(0, n);
    if (front.empty()) arrivals_.pop_front();
    return n;
  }
  std::expected<std::size_t, std::string> write(const char* data, std::size_t size) override {
    if (write_error_ && written.size() >= write_error_after_) return std::unexpected(*write_error_);
    const std::size_t n = write_limit_ ? std::min(size, *write_limit_) : size;
    written.append(data, n);
    return n;
  }

 private:
  std::deque<std::string> arrivals_;
  bool closed_ = false;
  bool stalled_ = false;
  std::optional<std::string> peek_error_, read_error_, write_error_;
  std::size_t write_error_after_ = 0;
  std::optional<std::size_t> write_limit_;
};

}  // namespace vorlane::pipe
