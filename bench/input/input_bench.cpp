// Cost of turning requests into records: a maximal text request, and one key request through
// the whole controller and through the serve loop's read, dispatch and reply. The sink only
// counts, so the figures are the helper's own work.
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "src/input/send_input_controller.hpp"
#include "src/input/synthesis.hpp"
#include "src/input_helper/pipe/framing.hpp"
#include "src/input_helper/pipe/memory_pipe.hpp"
#include "src/input_helper/serve/serve_fakes.hpp"
#include "src/input_helper/serve/session.hpp"
#include "src/system/fake_elevation.hpp"

namespace vorlane::input {
namespace {

constexpr std::size_t max_text_bytes = 65'535;

class CountingSink final : public input::InputSink {
 public:
  Outcome send(std::span<const InputRecord> records) override {
    ++calls;
    benchmark::DoNotOptimize(records.data());
    return {static_cast<std::uint32_t>(records.size()), 0};
  }
  std::size_t calls = 0;
};

class QuietHost final : public input::InjectionProbe {
 public:
  std::optional<std::string> input_desktop_name() override { return "Default"; }
  std::optional<std::uint32_t> foreground_process_id() override { return std::nullopt; }
  system::Elevation pid_elevation(std::uint32_t) override { return system::Elevation::unknown; }
  std::optional<std::string> process_image_path(std::uint32_t, std::uint32_t) override {
    return std::nullopt;
  }
};

// 65,535 bytes of ASCII (one UTF-16 unit each) or of three-byte CJK characters.
std::string text_of(bool cjk) {
  if (!cjk) {
    return std::string(max_text_bytes, 'x');
  }
  std::string text;
  while (text.size() + 3 <= max_text_bytes) {
    text += "\xE4\xB8\xAD";  // U+4E2D
  }
  return text;
}

void BM_TextRecords(benchmark::State& state) {
  const std::string text = text_of(state.range(0) != 0);
  std::vector<InputRecord> records;
  for (auto _ : state) {
    records.clear();
    append_text_records(text, records);
    benchmark::DoNotOptimize(records.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * records.size()));
  state.counters["records"] = static_cast<double>(records.size());
}
BENCHMARK(BM_TextRecords)->ArgName("cjk")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_TextRequest(benchmark::State& state) {
  auto sink_owner = std::make_unique<CountingSink>();
  CountingSink* sink = sink_owner.get();
  system::FakeElevation elevation;
  SendInputController controller(std::move(sink_owner), std::make_unique<QuietHost>(), elevation);
  (void)controller.set_enabled(true);
  const JsonValue request = {{"type", "text"}, {"text", text_of(state.range(0) != 0)}};
  std::size_t calls_per_request = 0;
  for (auto _ : state) {
    sink->calls = 0;
    benchmark::DoNotOptimize(controller.execute(request));
    calls_per_request = sink->calls;
  }
  state.counters["sendinput_calls"] = static_cast<double>(calls_per_request);
}
BENCHMARK(BM_TextRequest)->ArgName("cjk")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_KeyRequest(benchmark::State& state) {
  system::FakeElevation elevation;
  SendInputController controller(std::make_unique<CountingSink>(), std::make_unique<QuietHost>(), elevation);
  (void)controller.set_enabled(true);
  // Press and release alternately, so the held set neither grows nor stays empty.
  const JsonValue press = JsonValue::parse(R"({"type":"key","code":"ArrowLeft","down":true})");
  const JsonValue release = JsonValue::parse(R"({"type":"key","code":"ArrowLeft","down":false})");
  bool down = false;
  for (auto _ : state) {
    down = !down;
    benchmark::DoNotOptimize(controller.execute(down ? press : release));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeyRequest);

// One "key" frame as the serve loop handles it: cut from the pipe and parsed, dispatched to the
// controller, its record handed to the counting sink, and the reply written.
void BM_KeyRequestDispatch(benchmark::State& state) {
  auto sink_owner = std::make_unique<CountingSink>();
  CountingSink* sink = sink_owner.get();
  system::FakeElevation elevation;
  SendInputController controller(std::move(sink_owner), std::make_unique<QuietHost>(), elevation);
  (void)controller.set_enabled(true);
  bool control = true;
  serve::Journal journal;
  serve::FakeQueries queries(journal);
  pipe::MemoryPipe pipe;
  ManualClock clock;
  pipe::PipeConnection connection(pipe, clock);
  const std::string frames[] = {
      "{\"type\":\"key\",\"code\":\"ArrowLeft\",\"down\":true}\n",
      "{\"type\":\"key\",\"code\":\"ArrowLeft\",\"down\":false}\n"};
  std::size_t next = 0;
  for (auto _ : state) {
    pipe.deliver(frames[next]);
    next ^= 1;
    pipe::ReadOutcome outcome = read_message(connection, std::chrono::seconds(1));
    const JsonValue* request = std::get_if<JsonValue>(&outcome);
    if (request == nullptr) {
      state.SkipWithError("read failed");
      break;
    }
    const serve::Dispatch dispatch = dispatch_request(*request, controller, control, queries, elevation);
    if (!pipe::write_message(connection, dispatch.reply)) {
      state.SkipWithError("write failed");
      break;
    }
    pipe.written.clear();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["sendinput_calls_per_request"] =
      state.iterations() == 0 ? 0.0
                              : static_cast<double>(sink->calls) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_KeyRequestDispatch);

}  // namespace
}  // namespace vorlane::input

BENCHMARK_MAIN();
