#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "src/common/path.hpp"

namespace vorlane {
namespace {

struct JoinCase {
  std::string_view folder, name, joined;
};

constexpr JoinCase join_cases[] = {
    {R"(C:\Program Files)", "Vorlane", R"(C:\Program Files\Vorlane)"},
    {R"(C:\)", "Vorlane", R"(C:\Vorlane)"},                     // a root keeps its one backslash
    {"C:/data/", "a.json", "C:/data/a.json"},                    // a forward slash counts too
    {"", "a.json", R"(\a.json)"},                                // empty: the current drive's root
    {R"(C:\a)", "", R"(C:\a\)"},                                 // an empty name leaves the separator
    {R"(C:\a\\)", "b", R"(C:\a\\b)"},                            // only one trailing separator is looked at
    {R"(\\?\C:\x)", R"(y\z.exe)", R"(\\?\C:\x\y\z.exe)"},
    {"C:", "b", R"(C:\b)"},                                      // a bare drive gets the backslash
};

TEST(JoinPath, NarrowAndWideJoinTheSameWay) {
  for (const JoinCase& c : join_cases) {
    EXPECT_EQ(join_path(c.folder, c.name), c.joined) << c.folder << " + " << c.name;
    const std::wstring folder(c.folder.begin(), c.folder.end());
    const std::wstring name(c.name.begin(), c.name.end());
    EXPECT_EQ(join_path(folder, name), std::wstring(c.joined.begin(), c.joined.end()))
        << c.folder << " + " << c.name;
    const std::u16string folder16(c.folder.begin(), c.folder.end());
    const std::u16string name16(c.name.begin(), c.name.end());
    EXPECT_EQ(join_path(folder16, name16), std::u16string(c.joined.begin(), c.joined.end()))
        << c.folder << " + " << c.name;
  }
}

TEST(JoinPath, WideKeepsUnitsBeyondAscii) {
  EXPECT_EQ(join_path(std::wstring_view(L"C:\\\u4E2D"), std::wstring_view(L"\u00C4.txt")), L"C:\\\u4E2D\\\u00C4.txt");
}

}  // namespace
}  // namespace vorlane
