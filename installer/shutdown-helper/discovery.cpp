#include "installer/shutdown-helper/discovery.hpp"

#include "installer/shutdown-helper/constants.hpp"
#include "src/common/text.hpp"

namespace vorlane::haltgate {

bool may_be_installation_image(std::u16string_view image_path) {
  const std::size_t separator = image_path.find_last_of(u"\\/");
  const std::u16string_view name =
      separator == std::u16string_view::npos ? image_path : image_path.substr(separator + 1);
  // A short name hides the long one; its key is known only once the file is opened.
  return name.find(u'~') != std::u16string_view::npos || ascii_iequals(utf16_to_utf8(name), vorlane_exe_name);
}

std::expected<ProcessList, std::string> find_installation_processes(ProcessTable& table,
                                                                    const std::string& target_key) {
  const auto ids = table.process_ids();
  if (!ids) {
    return std::unexpected(ids.error());
  }
  const std::uint32_t own_pid = table.own_pid();
  ProcessList list;
  for (const std::uint32_t pid : *ids) {
    if (pid == 0 || pid == own_pid) {
      continue;
    }
    std::unique_ptr<ProcessCandidate> process = table.open_process(pid);
    if (!process) {
      continue;  // gone, or not ours to see
    }
    const std::optional<std::u16string> image = process->image_path();
    if (!image || !may_be_installation_image(*image)) {
      continue;
    }
    const auto key = table.image_key(*image);
    if (key && *key == target_key) {
      list.push_back(std::move(process));
    }
  }
  return list;
}

}  // namespace vorlane::haltgate
