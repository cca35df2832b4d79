#include "installer/shutdown-helper/unlock_walk.hpp"

#include <iterator>
#include <utility>
#include <vector>

#include "installer/shutdown-helper/constants.hpp"
#include "installer/shutdown-helper/texts.hpp"
#include "src/common/path.hpp"
#include "src/common/text.hpp"

namespace vorlane::haltgate {
namespace {

// A name in a folder given relative to the root; the root's own entries have no folder part.
std::u16string child_of(std::u16string_view folder, std::u16string_view name) {
  return folder.empty() ? std::u16string(name) : join_path(folder, name);
}

class Walk {
 public:
  Walk(InstallationFiles& files, Clock& clock, const std::string& directory, Clock::time_point deadline)
      : files_(files), clock_(clock), directory_(directory), deadline_(deadline) {}

  std::expected<void, std::string> run() {
    auto root = files_.final_folder_path(directory_);
    if (!root) {
      if (!root.error().opened && means_not_found(root.error().error)) {
        return {};  // nothing there to verify
      }
      return std::unexpected(std::move(root.error().error.text));
    }
    root_ = std::move(*root);

    // Folders still to visit, relative to the root, the next one last. A folder's subfolders
    // are queued in listing order once its listing is closed, so one listing is open at a time.
    std::vector<std::u16string> pending{u""};
    std::vector<std::u16string> subfolders;
    while (!pending.empty()) {
      const std::u16string folder = std::move(pending.back());
      pending.pop_back();
      if (clock_.now() >= deadline_) {
        return deadline_reached(folder);
      }
      // A folder that was listed and cannot be listed now is an error like any other: only
      // the installation folder itself may be absent.
      auto listing = files_.list(on_disk(folder));
      if (!listing) {
        return std::unexpected(std::move(listing.error()));
      }
      subfolders.clear();
      for (;;) {
        auto entry = (*listing)->next();
        if (!entry) {
          return std::unexpected(std::move(entry.error()));
        }
        if (!*entry) {
          break;
        }
        const std::u16string& name = (*entry)->name;
        if (name == u"." || name == u"..") {
          continue;
        }
        if (clock_.now() >= deadline_) {
          return deadline_reached(folder);
        }
        switch ((*entry)->kind) {
          case EntryKind::link:
            break;  // neither followed nor opened
          case EntryKind::directory:
            subfolders.push_back(child_of(folder, name));
            break;
          case EntryKind::file:
            if (is_executable_name(utf16_to_utf8(name))) {
              const std::u16string file = child_of(folder, name);
              if (auto opened = files_.open_exclusive(on_disk(file)); !opened) {
                return std::unexpected(unlock_error_text(shown(file), opened.error()));
              }
            }
            break;
        }
      }
      pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                     std::make_move_iterator(subfolders.rend()));
    }
    return {};
  }

 private:
  std::u16string on_disk(const std::u16string& relative) const {
    return relative.empty() ? root_ : join_path(root_, relative);
  }
  // The path as the installer knows it, so texts match the folder it gave.
  std::string shown(const std::u16string& relative) const {
    return relative.empty() ? directory_ : join_path(directory_, utf16_to_utf8(relative));
  }
  std::unexpected<std::string> deadline_reached(const std::u16string& folder) const {
    return std::unexpected(std::string(msg_walk_deadline) + shown(folder));
  }

  InstallationFiles& files_;
  Clock& clock_;
  const std::string& directory_;
  const Clock::time_point deadline_;
  std::u16string root_;
};

}  // namespace

std::expected<void, std::string> UnlockWalk::verify_unlocked(const std::string& directory,
                                                             Clock::time_point deadline) {
  return Walk(files_, clock_, directory, deadline).run();
}

}  // namespace vorlane::haltgate
