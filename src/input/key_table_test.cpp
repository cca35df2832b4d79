#include <set>
#include <string>

#include <gtest/gtest.h>

#include "src/input/key_table.hpp"

namespace vorlane::input {
namespace {

struct LookupCase {
  const char* name;
  std::optional<KeyCode> expected;
};

void PrintTo(const LookupCase& c, std::ostream* out) { *out << '"' << c.name << '"'; }

class KeyLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(KeyLookup, FindsExactNamesOnly) {
  EXPECT_EQ(lookup_key_code(GetParam().name), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Found, KeyLookup,
    ::testing::Values(LookupCase{"KeyA", KeyCode{0x1E, false}},
                      LookupCase{"KeyZ", KeyCode{0x2C, false}},
                      LookupCase{"Digit1", KeyCode{0x02, false}},
                      LookupCase{"Digit9", KeyCode{0x0A, false}},
                      LookupCase{"Digit0", KeyCode{0x0B, false}},
                      LookupCase{"F1", KeyCode{0x3B, false}},
                      LookupCase{"F10", KeyCode{0x44, false}},
                      LookupCase{"F11", KeyCode{0x57, false}},
                      LookupCase{"F12", KeyCode{0x58, false}},
                      LookupCase{"Enter", KeyCode{0x1C, false}},
                      LookupCase{"Backquote", KeyCode{0x29, false}},
                      LookupCase{"BracketRight", KeyCode{0x1B, false}},
                      LookupCase{"ControlLeft", KeyCode{0x1D, false}},
                      LookupCase{"AltLeft", KeyCode{0x38, false}},
                      LookupCase{"ControlRight", KeyCode{0x9D, true}},
                      LookupCase{"AltRight", KeyCode{0xB8, true}},
                      LookupCase{"ArrowLeft", KeyCode{0x4B, true}},
                      LookupCase{"Delete", KeyCode{0x53, true}},
                      LookupCase{"MetaRight", KeyCode{0x5C, true}}));

INSTANTIATE_TEST_SUITE_P(
    NotFound, KeyLookup,
    ::testing::Values(LookupCase{"keya", std::nullopt}, LookupCase{"KEYA", std::nullopt},
                      LookupCase{" KeyA", std::nullopt}, LookupCase{"KeyA ", std::nullopt},
                      LookupCase{"F13", std::nullopt}, LookupCase{"F0", std::nullopt},
                      LookupCase{"Insert", std::nullopt}, LookupCase{"CapsLock", std::nullopt},
                      LookupCase{"NumLock", std::nullopt}, LookupCase{"ScrollLock", std::nullopt},
                      LookupCase{"PrintScreen", std::nullopt}, LookupCase{"Pause", std::nullopt},
                      LookupCase{"ContextMenu", std::nullopt},
                      LookupCase{"NumpadEnter", std::nullopt},
                      LookupCase{"Numpad1", std::nullopt},
                      LookupCase{"IntlBackslash", std::nullopt},
                      LookupCase{"AudioVolumeUp", std::nullopt}, LookupCase{"", std::nullopt},
                      LookupCase{"A", std::nullopt},
                      LookupCase{"BracketRightX", std::nullopt}));

TEST(KeyTable, HasEightyOneDistinctNamesAndOnlyTheNavigationBlockIsExtended) {
  const std::set<std::string> extended_names{
      "ControlRight", "AltRight", "Home",    "ArrowUp",  "PageUp",   "ArrowLeft", "ArrowRight",
      "End",          "ArrowDown", "PageDown", "Delete", "MetaLeft", "MetaRight"};
  std::set<std::string> names;
  std::set<std::string> extended;
  for (const KeyTableEntry& entry : key_table()) {
    names.emplace(entry.name);
    if (entry.code.extended) {
      extended.emplace(entry.name);
    }
    EXPECT_LE(entry.code.scan, 0xFF) << entry.name;
    // Every entry must be reachable through the lookup, with its own values.
    EXPECT_EQ(lookup_key_code(entry.name), entry.code) << entry.name;
  }
  EXPECT_EQ(names.size(), 81u);
  EXPECT_EQ(extended, extended_names);
}

TEST(KeyTable, NoTwoKeysShareAScanCodeAndExtendedFlag) {
  std::set<std::pair<std::uint16_t, bool>> seen;
  for (const KeyTableEntry& entry : key_table()) {
    EXPECT_TRUE(seen.emplace(entry.code.scan, entry.code.extended).second) << entry.name;
  }
}

}  // namespace
}  // namespace vorlane::input
