#pragma once
// Collecting every process id from a call that fills a caller-sized room and cannot say how
// many ids did not fit: a room filled to the last byte may have been too small.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "installer/shutdown-helper/constants.hpp"

namespace vorlane::haltgate {

// `enumerate(room)` fills `room` and returns the number of bytes it filled, or an error text.
template <typename Enumerate>
[[nodiscard]] std::expected<std::vector<std::uint32_t>, std::string> collect_process_ids(Enumerate&& enumerate) {
  std::vector<std::uint32_t> ids(initial_process_id_room);
  for (;;) {
    const std::expected<std::size_t, std::string> filled = enumerate(std::span<std::uint32_t>(ids));
    if (!filled) {
      return std::unexpected(filled.error());
    }
    if (*filled < ids.size() * sizeof(std::uint32_t)) {
      ids.resize(*filled / sizeof(std::uint32_t));
      return ids;
    }
    ids.resize(ids.size() * 2);
  }
}

}  // namespace vorlane::haltgate
