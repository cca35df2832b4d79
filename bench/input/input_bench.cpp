// Cost of turning requests into records: a maximal text request, and one key request through
// the whole controller. The sink only counts, so the figures are the helper's own work.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "input/send_input_controller.hpp"
#include "input/synthesis.hpp"

namespace vorlane::input {
namespace {

constexpr std::size_t max_text_bytes = 65'535;

class CountingSink final : public InputSink {
 public:
  Outcome send(std::span<const InputRecord> records) override {
    ++calls;
    benchmark::DoNotOptimize(records.data());
    return {static_cast<std::uint32_t>(records.size()), 0};
  }
  std::size_t calls = 0;
};

class QuietHost final : public InjectionProbe {
 public:
  std::optional<std::string> input_desktop_name() override { return "Default"; }
  std::optional<std::uint32_t> foreground_process_id() override { return std::nullopt; }
  Elevation pid_elevation(std::uint32_t) override { return Elevation::unknown; }
  Elevation own_elevation() override { return Elevation::elevated; }
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
  SendInputController controller(std::move(sink_owner), std::make_unique<QuietHost>());
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
  SendInputController controller(std::make_unique<CountingSink>(), std::make_unique<QuietHost>());
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

}  // namespace
}  // namespace vorlane::input

BENCHMARK_MAIN();
