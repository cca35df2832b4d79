#include "src/input/send_input_controller.hpp"

#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "src/common/json_member.hpp"
#include "src/common/product.hpp"
#include "src/input/input_texts.hpp"
#include "src/input/key_table.hpp"

namespace vorlane::input {
namespace {

constexpr std::size_t button_count = 3;

std::unexpected<std::string> refuse(std::string_view text) {
  return std::unexpected(std::string(text));
}

// A non-negative integer literal, low 8 bits; anything else is the left button. The parser
// stores such literals as unsigned; a non-negative signed value built in code counts the same.
std::uint8_t button_number(const JsonValue& request) {
  const JsonValue* value = member(request, "button");
  if (!value) {
    return 0;
  }
  if (value->is_number_unsigned()) {
    return static_cast<std::uint8_t>(value->get<std::uint64_t>() & 0xFF);
  }
  if (value->is_number_integer() && value->get<std::int64_t>() >= 0) {
    return static_cast<std::uint8_t>(value->get<std::int64_t>() & 0xFF);
  }
  return 0;
}

}  // namespace

SendInputController::SendInputController(std::unique_ptr<InputSink> sink,
                                         std::unique_ptr<InjectionProbe> probe,
                                         system::ElevationQuery& elevation)
    : sink_(std::move(sink)), probe_(std::move(probe)), elevation_(elevation) {}

std::expected<void, std::string> SendInputController::set_enabled(bool enabled) {
  control_enabled_ = enabled;
  if (!enabled) {
    release_all();
  }
  return {};
}

std::expected<void, std::string> SendInputController::execute(const JsonValue& request) {
  if (!control_enabled_) {
    return refuse(control_not_enabled_text);
  }
  const std::string* type = string_member(request, "type");
  if (!type) {
    return refuse(unknown_request);
  }
  if (*type == "key") {
    return key(request);
  }
  if (*type == "text") {
    return text(request);
  }
  if (*type == "button") {
    return button(request);
  }
  if (*type == "scroll") {
    return scroll(request);
  }
  if (*type == "pointer") {
    return pointer(request);
  }
  return refuse(unknown_request);
}

std::expected<void, std::string> SendInputController::key(const JsonValue& request) {
  const std::string* code = string_member(request, "code");
  if (!code) {
    return refuse(key_without_code);
  }
  const bool press = true_member(request, "down");
  const bool repeat = true_member(request, "repeat");
  const std::optional<KeyCode> key = lookup_key_code(*code);
  if (!key) {
    return refuse(unsupported_key);
  }
  // Auto-repeat is left to the host: the key is already down there.
  if (press && repeat) {
    return {};
  }
  // A press counts as held before it is sent, so a refused press still gets its (harmless)
  // key-up from release_all. A key counts as released only once Windows took the key-up: a
  // refused one (a consent prompt, the secure desktop) is sent again by release_all.
  if (press) {
    held_keys_.insert(*code);
  }
  const InputRecord record = key_record(*key, press);
  auto sent = send({&record, 1});
  if (!press && sent) {
    held_keys_.erase(*code);
  }
  return sent;
}

std::expected<void, std::string> SendInputController::text(const JsonValue& request) {
  const std::string* text = string_member(request, "text");
  if (!text) {
    return refuse(text_without_text);
  }
  if (text->empty()) {
    return {};
  }
  std::vector<InputRecord> records;
  append_text_records(*text, records);
  return send(records);
}

std::expected<void, std::string> SendInputController::button(const JsonValue& request) {
  const std::int32_t x = absolute_coordinate(number_member(request, "x"));
  const std::int32_t y = absolute_coordinate(number_member(request, "y"));
  const std::uint8_t number = button_number(request);
  const bool press = true_member(request, "down");
  if (number >= button_count) {
    return refuse(unsupported_button);
  }
  // As for keys: held from the press on, released once Windows took the whole release.
  if (press) {
    held_buttons_.insert(number);
  }
  auto sent = send(button_records(x, y, number, press));
  if (!press && sent) {
    held_buttons_.erase(number);
  }
  return sent;
}

std::expected<void, std::string> SendInputController::scroll(const JsonValue& request) {
  return send(scroll_records(number_member(request, "dx"), number_member(request, "dy")));
}

std::expected<void, std::string> SendInputController::pointer(const JsonValue& request) {
  const InputRecord record = pointer_record(absolute_coordinate(number_member(request, "x")),
                                            absolute_coordinate(number_member(request, "y")));
  return send({&record, 1});
}

void SendInputController::release_all() {
  // Each record with what it releases, so whatever Windows refuses stays held for the next try.
  std::vector<InputRecord> records;
  std::vector<std::variant<std::string, std::uint8_t>> releases;
  records.reserve(held_keys_.size() + held_buttons_.size());
  releases.reserve(held_keys_.size() + held_buttons_.size());
  for (const std::string& code : held_keys_) {
    if (const std::optional<KeyCode> key = lookup_key_code(code)) {
      records.push_back(key_release_record(*key));
      releases.emplace_back(code);
    }
  }
  for (const std::uint8_t number : held_buttons_) {
    records.push_back(button_release_record(number));
    releases.emplace_back(number);
  }
  // A code outside the table cannot be released; it is not kept either.
  std::erase_if(held_keys_, [](const std::string& code) { return !lookup_key_code(code); });
  // A refused chunk must not leave the rest held: every chunk is tried. Windows inserts the
  // records of a call in order, so its count says which ones it took. Nobody receives an
  // explanation, so none is composed.
  for (std::size_t first = 0; first < records.size();) {
    const std::size_t count = std::min(records.size() - first, max_records_per_call);
    const InputSink::Outcome outcome = sink_->send(std::span(records).subspan(first, count));
    const std::size_t accepted = std::min<std::size_t>(outcome.sent, count);
    for (std::size_t i = first; i < first + accepted; ++i) {
      if (const auto* code = std::get_if<std::string>(&releases[i])) {
        held_keys_.erase(*code);
      } else {
        held_buttons_.erase(std::get<std::uint8_t>(releases[i]));
      }
    }
    first += count;
  }
}

std::expected<void, std::string> SendInputController::send(std::span<const InputRecord> records) {
  return send_inputs(*sink_, *probe_, elevation_, records);
}

}  // namespace vorlane::input
