// Arbitrary client byte streams, cut into writes at arbitrary points, through read_message and
// through one whole test-mode session.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "input_helper/pipe/framing.hpp"
#include "input_helper/pipe/memory_pipe.hpp"
#include "input_helper/serve/serve_fakes.hpp"
#include "input_helper/serve/session.hpp"
#include "input_helper/serve/test_mode_controller.hpp"

namespace {

using namespace vorlane;

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

void check_messages(const std::vector<std::string>& writes) {
  MemoryPipe pipe;
  ManualClock clock;
  for (const auto& bytes : writes) pipe.deliver(bytes);
  pipe.close_client();
  PipeConnection connection(pipe, clock);
  for (;;) {
    ReadOutcome outcome = read_message(connection, 1);
    if (!std::holds_alternative<JsonValue>(outcome)) break;
    // Whatever was accepted must serialise, as one line, into something accepted again.
    const auto text = serialize_message(std::get<JsonValue>(outcome));
    if (!text || text->find('\n') != std::string::npos || !parse_frame(*text)) std::abort();
    if (connection.buffer().size() > framing::max_frame_bytes + framing::read_chunk_bytes) std::abort();
  }
}

void run_one_session(const std::vector<std::string>& writes) {
  fakes::Journal journal;
  fakes::FakeQueries queries(journal);
  MemoryPipe pipe;
  ManualClock clock;
  for (const auto& bytes : writes) pipe.deliver(bytes);
  pipe.close_client();
  PipeConnection connection(pipe, clock);
  TestModeController controller;
  (void)run_session(connection, controller, queries, nullptr, 0);
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
