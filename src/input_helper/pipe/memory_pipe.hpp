#pragma once
// An in-memory stand-in for one connected pipe, with a clock that only moves when slept on.
// Used by the unit tests, the fuzz target and the benchmarks.
#include <chrono>
#include <cstring>
#include <deque>
#include <optional>
#include <string>

#include "src/common/manual_clock.hpp"
#include "src/input_helper/pipe/pipe_io.hpp"

namespace vorlane {

class MemoryPipe final : public PipeIo {
 public:
  // Each delivery becomes visible to peek() as one unit, like one write by the client.
  void deliver(std::string bytes) { arrivals_.push_back(std::move(bytes)); }
  // After the queued bytes are read, reads report the other end as closed.
  void close_client() { closed_ = true; }
  void fail_peek(std::string text) { peek_error_ = std::move(text); }
  void fail_read(std::string text) { read_error_ = std::move(text); }
  void fail_write(std::string text) { write_error_ = std::move(text); }
  // Each write call accepts at most this many bytes (0: the other end takes nothing).
  void limit_writes(std::size_t bytes) { write_limit_ = bytes; }

  std::string written;
  int peeks = 0;
  int reads = 0;

  std::expected<std::size_t, std::string> peek() override {
    ++peeks;
    if (peek_error_) return std::unexpected(*peek_error_);
    if (arrivals_.empty()) return closed_ ? 1 : 0;  // a closed end shows as readable, then reads 0
    std::size_t total = 0;
    for (const auto& bytes : arrivals_) total += bytes.size();
    return total;
  }
  std::expected<std::size_t, std::string> read(char* buffer, std::size_t size) override {
    ++reads;
    if (read_error_) return std::unexpected(*read_error_);
    if (arrivals_.empty()) return 0;
    std::string& front = arrivals_.front();
    const std::size_t n = std::min(size, front.size());
    std::memcpy(buffer, front.data(), n);
    front.erase(0, n);
    if (front.empty()) arrivals_.pop_front();
    return n;
  }
  std::expected<std::size_t, std::string> write(const char* data, std::size_t size) override {
    if (write_error_) return std::unexpected(*write_error_);
    const std::size_t n = write_limit_ ? std::min(size, *write_limit_) : size;
    written.append(data, n);
    return n;
  }

 private:
  std::deque<std::string> arrivals_;
  bool closed_ = false;
  std::optional<std::string> peek_error_, read_error_, write_error_;
  std::optional<std::size_t> write_limit_;
};

}  // namespace vorlane
