#include "src/setup/record.hpp"

#include <array>
#include <limits>

#include <nlohmann/json.hpp>

namespace vorlane::setup {
namespace {

using nlohmann::json;

enum class Kind { u32, u64, text };

struct Member {
  const char* name;
  Kind kind;
};

// The members in file order; the array form of the record uses the same order.
constexpr std::array<Member, 7> members{{
    {"schema", Kind::u32},
    {"protocol", Kind::u32},
    {"version", Kind::text},
    {"userSid", Kind::text},
    {"guiPath", Kind::text},
    {"taskName", Kind::text},
    {"installedAt", Kind::u64},
}};

// Integers only (no fraction or exponent form); "-0" is stored as a signed zero and counts.
bool is_natural(const json& value) {
  return value.is_number_unsigned() || (value.is_number_integer() && value.get<std::int64_t>() == 0);
}

bool fits(const json& value, Kind kind) {
  switch (kind) {
    case Kind::text:
      return value.is_string();
    case Kind::u32:
      return is_natural(value) &&
             value.get<std::uint64_t>() <= std::numeric_limits<std::uint32_t>::max();
    case Kind::u64:
      return is_natural(value);
  }
  return false;
}

void assign(HelperRecord& record, std::size_t index, const json& value) {
  switch (index) {
    case 0: record.schema = static_cast<std::uint32_t>(value.get<std::uint64_t>()); break;
    case 1: record.protocol = static_cast<std::uint32_t>(value.get<std::uint64_t>()); break;
    case 2: record.version = value.get<std::string>(); break;
    case 3: record.user_sid = value.get<std::string>(); break;
    case 4: record.gui_path = value.get<std::string>(); break;
    case 5: record.task_name = value.get<std::string>(); break;
    case 6: record.installed_at = value.get<std::uint64_t>(); break;
    default: break;
  }
}

std::string wrong_type(const char* name) {
  return std::string("member \"") + name + "\" has the wrong type or range";
}

std::expected<HelperRecord, std::string> from_array(const json& values) {
  if (values.size() != members.size()) {
    return std::unexpected("an array record must hold exactly " +
                           std::to_string(members.size()) + " values, not " +
                           std::to_string(values.size()));
  }
  HelperRecord record;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (!fits(values[i], members[i].kind)) {
      return std::unexpected(wrong_type(members[i].name));
    }
    assign(record, i, values[i]);
  }
  return record;
}

std::expected<HelperRecord, std::string> from_object(const json& object) {
  HelperRecord record;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const auto found = object.find(members[i].name);
    if (found == object.end()) {
      return std::unexpected(std::string("member \"") + members[i].name + "\" is missing");
    }
    if (!fits(*found, members[i].kind)) {
      return std::unexpected(wrong_type(members[i].name));
    }
    assign(record, i, *found);
  }
  return record;
}

}  // namespace

std::expected<std::string, std::string> serialize_record(const HelperRecord& record) {
  nlohmann::ordered_json object;
  object["schema"] = record.schema;
  object["protocol"] = record.protocol;
  object["version"] = record.version;
  object["userSid"] = record.user_sid;
  object["guiPath"] = record.gui_path;
  object["taskName"] = record.task_name;
  object["installedAt"] = record.installed_at;
  try {
    // Strict: text that is not UTF-8 is refused rather than written into the record.
    return object.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
  } catch (const nlohmann::ordered_json::exception& e) {
    return std::unexpected(std::string(e.what()));
  }
}

std::expected<HelperRecord, std::string> parse_record(std::string_view bytes) {
  // The parser takes a NUL byte for the end of the input and would ignore whatever follows it;
  // JSON has no place for one, not even inside a string.
  if (bytes.find('\0') != std::string_view::npos) {
    return std::unexpected(std::string("holds a NUL byte"));
  }
  // The parser keeps the last of two members with one name, so repetitions of the record's
  // own members are counted while parsing, at the top level only.
  std::array<int, members.size()> seen{};
  const json::parser_callback_t count_keys = [&seen](int depth, json::parse_event_t event,
                                                      json& parsed) {
    if (event == json::parse_event_t::key && depth == 1 && parsed.is_string()) {
      const auto& name = parsed.get_ref<const std::string&>();
      for (std::size_t i = 0; i < members.size(); ++i) {
        if (name == members[i].name) {
          ++seen[i];
        }
      }
    }
    return true;
  };
  const json value = json::parse(bytes.begin(), bytes.end(), count_keys,
                                 /*allow_exceptions=*/false);
  if (value.is_discarded()) {
    return std::unexpected(std::string("not one JSON text"));
  }
  if (value.is_array()) {
    return from_array(value);
  }
  if (!value.is_object()) {
    return std::unexpected(std::string("neither an object nor an array"));
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (seen[i] > 1) {
      return std::unexpected(std::string("member \"") + members[i].name + "\" appears twice");
    }
  }
  return from_object(value);
}

}  // namespace vorlane::setup
