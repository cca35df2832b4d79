#pragma once
// Joining a Windows folder and a name, for both programs and both string widths.
#include <string>
#include <string_view>

namespace vorlane {

// `folder` + `\` + `name`; no second separator when `folder` already ends in `\` or `/`.
// An empty folder gives "\name", the root of the current drive.
std::string join_path(std::string_view folder, std::string_view name);
std::wstring join_path(std::wstring_view folder, std::wstring_view name);
std::u16string join_path(std::u16string_view folder, std::u16string_view name);

}  // namespace vorlane
