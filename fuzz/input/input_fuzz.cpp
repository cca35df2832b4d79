// Any sequence of requests, enable, disable and release through SendInputController, with a sink
// that counts what reaches SendInput and answers with full or short counts as the input says.
//
// Oracle:
// - every SendInput call carries 1 to 64 records;
// - a refused or disabled request reaches no SendInput call;
// - a text of n UTF-16 units makes exactly ceil(2n/64) calls, or stops at the first short one;
// - release_all hands over one release for each key and button still owed one: pressed (the
//   press handed over, taken or not) and no release taken by Windows since, and nothing else;
//   when Windows takes all of it, nothing is owed afterwards (the key table names every key
//   once, so a held name and a held key are the same thing).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "src/common/product.hpp"
#include "src/common/text.hpp"
#include "src/input/fakes_for_tests.hpp"
#include "src/input/input_texts.hpp"
#include "src/input/key_table.hpp"
#include "src/input/send_input_controller.hpp"
#include "src/system/fake_elevation.hpp"

namespace {

using namespace vorlane;
using namespace vorlane::input;
using namespace vorlane::serve;
using namespace vorlane::system;

[[noreturn]] void disagree(const char* what) {
  std::fprintf(stderr, "input oracle: %s\n", what);
  std::abort();
}

// What the controller owes the host: a release for every press handed over, until Windows
// takes one. Records after a short count are not taken.
class CountingSink final : public input::InputSink {
 public:
  explicit CountingSink(FuzzedDataProvider& input) : input_(input) {}

  Outcome send(std::span<const InputRecord> records) override {
    if (records.empty() || records.size() > max_records_per_call) disagree("a call outside 1..64 records");
    ++calls;
    std::size_t taken = records.size();
    // Mostly full counts, so long texts get through; now and then a short one.
    if (input_.remaining_bytes() > 0 && input_.ConsumeIntegral<std::uint8_t>() < 16) {
      ++short_calls;
      taken = input_.ConsumeIntegralInRange<std::size_t>(0, records.size() - 1);
    }
    for (std::size_t i = 0; i < records.size(); ++i) track(records[i], i < taken);
    return {static_cast<std::uint32_t>(taken), taken == records.size() ? 0u : 5u};
  }

  std::size_t owed() const { return keys.size() + buttons.size(); }

  std::size_t calls = 0;
  std::size_t short_calls = 0;
  std::size_t releases = 0;          // key-ups and button-ups handed over
  std::size_t releases_of_owed = 0;  // of those, the ones for something owed a release
  std::set<std::pair<std::uint16_t, bool>> keys;
  std::set<int> buttons;

 private:
  void track(const InputRecord& r, bool taken) {
    if (r.type == InputType::keyboard) {
      if (r.flags & keyeventf_unicode) return;  // text: pressed and released in the same call
      const std::pair key{r.scan, (r.flags & keyeventf_extendedkey) != 0};
      if (r.flags & keyeventf_keyup) {
        ++releases;
        releases_of_owed += keys.contains(key);
        if (taken) keys.erase(key);
      } else {
        keys.insert(key);
      }
      return;
    }
    constexpr std::uint32_t down[] = {mouseeventf_leftdown, mouseeventf_middledown, mouseeventf_rightdown};
    constexpr std::uint32_t up[] = {mouseeventf_leftup, mouseeventf_middleup, mouseeventf_rightup};
    for (int b = 0; b < 3; ++b) {
      if (r.flags & down[b]) buttons.insert(b);
      if (r.flags & up[b]) {
        ++releases;
        releases_of_owed += buttons.contains(b);
        if (taken) buttons.erase(b);
      }
    }
  }

  FuzzedDataProvider& input_;
};

JsonValue any_scalar(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange(0, 7)) {
    case 0: return true;
    case 1: return false;
    case 2: return input.ConsumeIntegral<std::uint64_t>();
    case 3: return input.ConsumeIntegral<std::int64_t>();
    case 4: return input.ConsumeFloatingPoint<double>();
    case 5: return input.ConsumeProbability<double>() * 1.5 - 0.25;
    case 6: return sanitize_utf8(input.ConsumeRandomLengthString(16));
    default: return nullptr;
  }
}

// Mostly the members a request reads, with values of the expected kind; sometimes anything.
void maybe_set(FuzzedDataProvider& input, JsonValue& request, const char* name, JsonValue usual) {
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0: break;
    case 1: request[name] = any_scalar(input); break;
    default: request[name] = std::move(usual);
  }
}

JsonValue any_request(FuzzedDataProvider& input) {
  static constexpr const char* types[] = {"key", "text", "button", "scroll", "pointer", "Key", "hello"};
  JsonValue request = JsonValue::object();
  const char* type = input.PickValueInArray(types);
  maybe_set(input, request, "type", type);
  const auto table = key_table();
  maybe_set(input, request, "code", std::string(table[input.ConsumeIntegralInRange<std::size_t>(0, table.size() - 1)].name));
  maybe_set(input, request, "down", input.ConsumeBool());
  maybe_set(input, request, "repeat", input.ConsumeBool());
  maybe_set(input, request, "text", sanitize_utf8(input.ConsumeRandomLengthString(300)));
  maybe_set(input, request, "button", input.ConsumeIntegralInRange<std::uint64_t>(0, 3));
  for (const char* name : {"x", "y", "dx", "dy"}) maybe_set(input, request, name, input.ConsumeFloatingPoint<double>());
  return request;
}

// `release` is release_all itself or set_enabled(false), which performs it.
template <typename Release>
void check_release(CountingSink& sink, Release release) {
  const std::size_t owed = sink.owed();
  const std::size_t calls = sink.calls;
  const std::size_t short_calls = sink.short_calls;
  const std::size_t releases = sink.releases;
  const std::size_t releases_of_owed = sink.releases_of_owed;
  release();
  if (sink.releases - releases != owed || sink.releases_of_owed - releases_of_owed != owed) {
    disagree("release_all did not release exactly what is owed");
  }
  if (sink.short_calls == short_calls && sink.owed() != 0) disagree("something is still held after release_all");
  if (owed == 0 && sink.calls != calls) disagree("release_all with nothing held called SendInput");
}

bool is_refusal(std::string_view error) {
  return error == control_not_enabled_text || error == unknown_request ||
         error == key_without_code || error == unsupported_key ||
         error == text_without_text || error == unsupported_button;
}

// The text of a "text" request, when it has one.
const std::string* text_of(const JsonValue& request) {
  const auto type = request.find("type");
  const auto text = request.find("text");
  if (type == request.end() || *type != "text" || text == request.end() || !text->is_string()) {
    return nullptr;
  }
  return text->get_ptr<const std::string*>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  auto owned_sink = std::make_unique<CountingSink>(input);
  CountingSink& sink = *owned_sink;
  FakeElevation elevation;
  SendInputController controller(std::move(owned_sink), std::make_unique<FakeProbe>(), elevation);
  bool enabled = false;
  while (input.remaining_bytes() > 0) {
    switch (input.ConsumeIntegralInRange(0, 9)) {
      case 0:
        (void)controller.set_enabled(true);
        enabled = true;
        break;
      case 1:
        check_release(sink, [&] { (void)controller.set_enabled(false); });
        enabled = false;
        break;
      case 2:
        check_release(sink, [&] { controller.release_all(); });
        break;
      default: {
        const JsonValue request = any_request(input);
        const std::size_t calls = sink.calls;
        const std::size_t short_calls = sink.short_calls;
        const auto result = controller.execute(request);
        const std::size_t made = sink.calls - calls;
        if (!enabled && (result || result.error() != control_not_enabled_text)) {
          disagree("a disabled controller carried out a request");
        }
        if (!result && is_refusal(result.error()) && made != 0) disagree("a refused request reached SendInput");
        if (!result && !is_refusal(result.error()) && sink.short_calls == short_calls) {
          disagree("an injection failure without a short count");
        }
        if (const std::string* text = enabled ? text_of(request) : nullptr) {
          const std::size_t units = utf8_to_utf16(*text).size();
          const std::size_t expected = (2 * units + max_records_per_call - 1) / max_records_per_call;
          const bool cut_short = sink.short_calls != short_calls;
          if (cut_short ? made > expected : made != expected) disagree("a text made the wrong number of calls");
          if (cut_short == result.has_value()) disagree("a short count was not reported, or a full one was");
        }
      }
    }
  }
  check_release(sink, [&] { controller.release_all(); });
  return 0;
}
