#include "src/common/opened_file.hpp"

#include <algorithm>

namespace vorlane {
namespace {

char16_t fold_ascii(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? unit - u'A' + u'a' : unit; }

// Only ASCII letters are folded: a name whose other letters differ in case is refused, which can
// only refuse a write, never let one through to another file.
bool same_name(std::u16string_view a, std::u16string_view b, NameCase name_case) {
  if (name_case == NameCase::sensitive) return a == b;
  return std::ranges::equal(a, b, [](char16_t x, char16_t y) { return fold_ascii(x) == fold_ascii(y); });
}

}  // namespace

std::u16string expected_final_path(std::u16string_view folder_final_path, std::u16string_view tail) {
  std::u16string joined(folder_final_path);
  // A volume's root comes back with its backslash; no other folder does.
  if (joined.empty() || joined.back() != u'\\') joined.push_back(u'\\');
  joined.append(tail);
  return joined;
}

std::optional<FileRefusal> refuse_opened_file(const OpenedFileFacts& facts,
                                              std::u16string_view expected_final_path,
                                              NameCase name_case) {
  if (facts.reparse_point) return FileRefusal::reparse_point;
  if (facts.directory) return FileRefusal::directory;
  if (facts.link_count != 1) return FileRefusal::several_links;
  if (facts.final_path.empty() || !same_name(facts.final_path, expected_final_path, name_case)) {
    return FileRefusal::other_place;
  }
  return std::nullopt;
}

}  // namespace vorlane
