#pragma once
// The loop that hands a file's bytes to the system piece by piece.
#include <cstddef>
#include <expected>
#include <functional>
#include <string>
#include <string_view>

namespace vorlane {

// Writes some of the bytes it is given (at most the size handed to it) and says how many, or
// fails with the system error text.
using WriteSome = std::function<std::expected<std::size_t, std::string>(std::string_view piece)>;

inline constexpr std::size_t max_write_piece = std::size_t{1} << 20;

// Hands `bytes` to `write_some` in pieces of at most `max_write_piece` until all are written.
// A write that succeeds without taking a byte would repeat forever; it ends the loop with
// `no_progress_error()`, as does one that claims more than it was given.
[[nodiscard]] std::expected<void, std::string> write_all(std::string_view bytes, const WriteSome& write_some,
                                                         const std::function<std::string()>& no_progress_error);

}  // namespace vorlane
