#include "src/system/path_compare_key.hpp"

#include <algorithm>

#include "src/common/text.hpp"

namespace vorlane::system {

std::string path_compare_key(std::string_view path) {
  std::string key(path);
  std::replace(key.begin(), key.end(), '/', '\\');
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return ascii_lower(key);
}

}  // namespace vorlane::system
