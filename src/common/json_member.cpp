#include "src/common/json_member.hpp"

namespace vorlane {

const nlohmann::json* member(const nlohmann::json& object, std::string_view name) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(name);
  return it == object.end() ? nullptr : &*it;
}

const std::string* string_member(const nlohmann::json& object, std::string_view name) {
  const nlohmann::json* value = member(object, name);
  return value && value->is_string() ? value->get_ptr<const std::string*>() : nullptr;
}

bool true_member(const nlohmann::json& object, std::string_view name) {
  const nlohmann::json* value = member(object, name);
  return value && value->is_boolean() && value->get<bool>();
}

std::optional<double> number_member(const nlohmann::json& object, std::string_view name) {
  const nlohmann::json* value = member(object, name);
  if (!value || !value->is_number()) return std::nullopt;
  return value->get<double>();
}

}  // namespace vorlane
