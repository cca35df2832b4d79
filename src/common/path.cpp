#include "src/common/path.hpp"

namespace vorlane {
namespace {

template <class Char>
std::basic_string<Char> join(std::basic_string_view<Char> folder, std::basic_string_view<Char> name) {
  std::basic_string<Char> joined;
  joined.reserve(folder.size() + 1 + name.size());
  joined.append(folder);
  if (joined.empty() || (joined.back() != Char('\\') && joined.back() != Char('/'))) {
    joined.push_back(Char('\\'));
  }
  joined.append(name);
  return joined;
}

}  // namespace

std::string join_path(std::string_view folder, std::string_view name) { return join(folder, name); }

std::wstring join_path(std::wstring_view folder, std::wstring_view name) { return join(folder, name); }

std::u16string join_path(std::u16string_view folder, std::u16string_view name) { return join(folder, name); }

}  // namespace vorlane
