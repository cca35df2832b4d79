#pragma once
// Finding the installation's running Vorlane.exe processes by the path key of their images.
// Only an image that can have the key of "<installation>\Vorlane.exe" is opened: one whose
// last path component is "vorlane.exe" in any ASCII letter case, or a short (8.3) name, which
// may stand for it. Every other image is passed over unopened, so an image on a slow share
// cannot stretch the run.
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "installer/shutdown-helper/preflight.hpp"

namespace vorlane::haltgate {

// A running process opened for waiting and for querying its image.
class ProcessCandidate : public Process {
 public:
  // The full image path in Win32 form; absent when it cannot be queried.
  [[nodiscard]] virtual std::optional<std::u16string> image_path() = 0;
};

class ProcessTable {
 public:
  virtual ~ProcessTable() = default;
  // Every running process id, in the order the system reports them.
  [[nodiscard]] virtual std::expected<std::vector<std::uint32_t>, std::string> process_ids() = 0;
  virtual std::uint32_t own_pid() = 0;
  // Null when the process is gone or not ours to see.
  [[nodiscard]] virtual std::unique_ptr<ProcessCandidate> open_process(std::uint32_t pid) = 0;
  // The path key of an image file, which opens it.
  [[nodiscard]] virtual std::expected<std::string, std::string> image_key(std::u16string_view image_path) = 0;
};

[[nodiscard]] bool may_be_installation_image(std::u16string_view image_path);

[[nodiscard]] std::expected<ProcessList, std::string> find_installation_processes(ProcessTable& table,
                                                                                  const std::string& target_key);

}  // namespace vorlane::haltgate
