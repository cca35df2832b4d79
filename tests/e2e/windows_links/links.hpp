#pragma once
// Links made the Windows way, for the link cases the shell scripts make from the Linux side:
// each maker gives the reason when it could not make the link here (Wine's CreateSymbolicLinkW
// and mklink /J create nothing; Windows needs an elevated run or developer mode for symlinks).
#include <optional>
#include <string>

namespace vorlane::testing {

bool is_link(const std::wstring& path);
std::optional<std::string> make_symlink(const std::wstring& link, const std::wstring& target, bool folder);
std::optional<std::string> make_junction(const std::wstring& link, const std::wstring& target);

}  // namespace vorlane::testing
