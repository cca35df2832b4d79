#pragma once
// Whether a file opened by name for an elevated write is the plain file at the place meant, judged
// from what its handle reports. A program of the same user can plant links under the folders such
// a write goes to; the name alone proves nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorlane {

// What the system reports for an opened file, read from the handle, never by name again.
struct OpenedFileFacts {
  bool reparse_point = false;  // the attribute, or any reparse tag
  bool directory = false;
  std::uint32_t link_count = 1;
  std::u16string final_path;  // as the system names the opened file
};

enum class [[nodiscard]] FileRefusal {
  reparse_point,  // a link opened itself
  directory,
  several_links,   // a second hard link elsewhere names the same data
  other_place,     // reached through a link on the way, or a link the system followed
  dangling_link,   // the name exists but names nothing: creating it would create the target
};

enum class NameCase { insensitive, sensitive };

// `folder_final_path` is the final path of the trusted folder; `tail` the rest of the path from it,
// separated by backslashes.
std::u16string expected_final_path(std::u16string_view folder_final_path, std::u16string_view tail);

// Absent when the file may be written.
[[nodiscard]] std::optional<FileRefusal> refuse_opened_file(const OpenedFileFacts& facts,
                                                            std::u16string_view expected_final_path,
                                                            NameCase name_case);

}  // namespace vorlane
