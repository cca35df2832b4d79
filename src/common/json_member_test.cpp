#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "src/common/json_member.hpp"

namespace vorlane {
namespace {

// One object holding a member of every JSON type, read with every reader.
const nlohmann::json& sample() {
  static const nlohmann::json object = nlohmann::json::parse(R"({
    "text": "ArrowLeft", "empty": "", "yes": true, "no": false, "true_text": "true",
    "int": -3, "unsigned": 7, "real": 2.5, "exp": 1e2, "null": null,
    "list": [1], "inner": {"text": "x"}, "": "unnamed"
  })");
  return object;
}

struct ReadCase {
  std::string_view name;
  bool present;
  std::optional<std::string> string;
  bool is_true;
  std::optional<double> number;
};

const ReadCase read_cases[] = {
    {"text", true, "ArrowLeft", false, std::nullopt},
    {"empty", true, "", false, std::nullopt},
    {"yes", true, std::nullopt, true, std::nullopt},
    {"no", true, std::nullopt, false, std::nullopt},
    {"true_text", true, "true", false, std::nullopt},  // the string "true" is not true
    {"int", true, std::nullopt, false, -3.0},
    {"unsigned", true, std::nullopt, false, 7.0},
    {"real", true, std::nullopt, false, 2.5},
    {"exp", true, std::nullopt, false, 100.0},
    {"null", true, std::nullopt, false, std::nullopt},
    {"list", true, std::nullopt, false, std::nullopt},
    {"inner", true, std::nullopt, false, std::nullopt},
    {"", true, "unnamed", false, std::nullopt},
    {"missing", false, std::nullopt, false, std::nullopt},
    {"Text", false, std::nullopt, false, std::nullopt},  // names are matched exactly
};

TEST(JsonMember, EachReaderTakesOnlyItsOwnType) {
  for (const ReadCase& c : read_cases) {
    SCOPED_TRACE(std::string(c.name));
    const nlohmann::json* found = member(sample(), c.name);
    EXPECT_EQ(found != nullptr, c.present);
    if (found) {
      EXPECT_EQ(found, &sample().at(std::string(c.name)));  // the member itself, not a copy
    }
    const std::string* text = string_member(sample(), c.name);
    EXPECT_EQ(text ? std::optional<std::string>(*text) : std::nullopt, c.string);
    EXPECT_EQ(true_member(sample(), c.name), c.is_true);
    EXPECT_EQ(number_member(sample(), c.name), c.number);
  }
}

TEST(JsonMember, AValueThatIsNotAnObjectHasNoMembers) {
  const nlohmann::json not_objects[] = {nullptr, true, 1, "text", nlohmann::json::array({"text"}),
                                        nlohmann::json::array({nlohmann::json{{"text", 1}}})};
  for (const nlohmann::json& value : not_objects) {
    SCOPED_TRACE(value.dump());
    EXPECT_EQ(member(value, "text"), nullptr);
    EXPECT_EQ(string_member(value, "text"), nullptr);
    EXPECT_FALSE(true_member(value, "text"));
    EXPECT_EQ(number_member(value, "text"), std::nullopt);
  }
}

}  // namespace
}  // namespace vorlane
