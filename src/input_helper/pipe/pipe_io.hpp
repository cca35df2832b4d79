#pragma once
// The three pipe operations the framing needs, so the framing can run over an in-memory fake.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>

#include "src/common/clock.hpp"

namespace vorlane::pipe {

// Errors are the rendered Windows error text of the failing call. A client that has closed its
// end shows only as a failure: once what it wrote has been read, peek() fails with
// `error_broken_pipe`; it never reads as readable with nothing to read.
class PipeIo {
 public:
  virtual ~PipeIo() = default;
  // Bytes waiting to be read, without reading them.
  [[nodiscard]] virtual std::expected<std::size_t, std::string> peek() = 0;
  // Reads up to `size` bytes of those peek() reported waiting, so at least one.
  [[nodiscard]] virtual std::expected<std::size_t, std::string> read(char* buffer, std::size_t size) = 0;
  // Writes at least one and up to `size` bytes and tells how many went out.
  [[nodiscard]] virtual std::expected<std::size_t, std::string> write(const char* data, std::size_t size) = 0;
};

// ERROR_BROKEN_PIPE: what peeking at a pipe whose client has gone fails with.
inline constexpr std::uint32_t error_broken_pipe = 109;

}  // namespace vorlane::pipe
