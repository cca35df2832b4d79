// CPU per message of read + dispatch + reply through an in-memory pipe, beside a bare parse and
// dump of the same bytes.
#include <benchmark/benchmark.h>

#include "src/input_helper/pipe/framing.hpp"
#include "src/input_helper/pipe/memory_pipe.hpp"
#include "src/input_helper/serve/serve_fakes.hpp"
#include "src/input_helper/serve/session.hpp"
#include "src/input_helper/serve/test_mode_controller.hpp"
#include "src/system/fake_elevation.hpp"

namespace {

using namespace vorlane;

const std::string key_frame = "{\"type\":\"key\",\"code\":\"KeyA\",\"down\":true}\n";

// A "text" request whose JSON text is exactly 65,535 bytes.
std::string largest_frame() {
  const std::string head = "{\"type\":\"text\",\"text\":\"";
  const std::string tail = "\"}";
  return head + std::string(65535 - head.size() - tail.size(), 'a') + tail + "\n";
}

void read_dispatch_reply(benchmark::State& state, const std::string& frame) {
  serve::Journal journal;
  serve::FakeQueries queries(journal);
  system::FakeElevation elevation;
  pipe::MemoryPipe pipe;
  ManualClock clock;
  pipe::PipeConnection connection(pipe, clock);
  serve::TestModeController controller;
  (void)controller.set_enabled(true);
  bool control = true;
  for (auto _ : state) {
    pipe.deliver(frame);
    pipe::ReadOutcome outcome = read_message(connection, std::chrono::seconds(1));
    const serve::Dispatch dispatch = dispatch_request(std::get<JsonValue>(outcome), controller, control, queries, elevation);
    if (!pipe::write_message(connection, dispatch.reply)) state.SkipWithError("write failed");
    pipe.written.clear();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
}

void bare_parse_dump(benchmark::State& state, const std::string& frame) {
  const std::string_view line(frame.data(), frame.size() - 1);
  for (auto _ : state) {
    const auto value = JsonValue::parse(line);
    benchmark::DoNotOptimize(value.dump());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
}

void BM_KeyRequest_ReadDispatchReply(benchmark::State& state) { read_dispatch_reply(state, key_frame); }
void BM_KeyRequest_BareParseDump(benchmark::State& state) { bare_parse_dump(state, key_frame); }
void BM_LargestFrame_ReadDispatchReply(benchmark::State& state) {
  read_dispatch_reply(state, largest_frame());
}
void BM_LargestFrame_BareParseDump(benchmark::State& state) { bare_parse_dump(state, largest_frame()); }

BENCHMARK(BM_KeyRequest_ReadDispatchReply);
BENCHMARK(BM_KeyRequest_BareParseDump);
BENCHMARK(BM_LargestFrame_ReadDispatchReply);
BENCHMARK(BM_LargestFrame_BareParseDump);

}  // namespace

BENCHMARK_MAIN();
