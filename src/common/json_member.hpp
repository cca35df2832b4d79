#pragma once
// Reading members of a received JSON object without throwing: a missing member, a member of
// another JSON type, or a value that is not an object at all reads as absent.
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vorlane {

// Every JSON value the pipe carries.
using JsonValue = nlohmann::json;

// The member `name` of `object`; null when `object` is not an object or has no such member.
[[nodiscard]] const JsonValue* member(const JsonValue& object, std::string_view name);

// The member as a string; null when absent or not a JSON string.
[[nodiscard]] const std::string* string_member(const JsonValue& object, std::string_view name);

// Only JSON true counts: false, numbers and the string "true" do not.
[[nodiscard]] bool true_member(const JsonValue& object, std::string_view name);

// Any JSON number, whatever its written form, as a double; absent otherwise.
[[nodiscard]] std::optional<double> number_member(const JsonValue& object, std::string_view name);

}  // namespace vorlane
