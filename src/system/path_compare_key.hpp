#pragma once
#include <string>
#include <string_view>

namespace vorlane::system {

// Different spellings of one program path compare equal through this key: "/" becomes "\",
// trailing separators go, ASCII letters are lowered. Nothing else is normalised on purpose
// (no Unicode case folding, short names, verbatim prefixes or links).
std::string path_compare_key(std::string_view path);

}  // namespace vorlane::system
