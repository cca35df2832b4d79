#pragma once
// The three pipe operations the framing needs, so the framing can run over an in-memory fake.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>

#include "src/common/clock.hpp"

namespace vorlane {

// Errors are the rendered Windows error text of the failing call.
class PipeIo {
 public:
  virtual ~PipeIo() = default;
  // Bytes waiting to be read, without reading them.
  virtual std::expected<std::size_t, std::string> peek() = 0;
  // Reads up to `size` bytes; 0 means the other end closed.
  virtual std::expected<std::size_t, std::string> read(char* buffer, std::size_t size) = 0;
  // Writes up to `size` bytes and tells how many went out.
  virtual std::expected<std::size_t, std::string> write(const char* data, std::size_t size) = 0;
};

}  // namespace vorlane
