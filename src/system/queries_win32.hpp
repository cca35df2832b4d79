#pragma once
// Small stateless queries about identities, processes and the input desktop. Every failure
// becomes an absent or unknown answer; every handle opened here is closed before returning.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "src/system/elevation.hpp"

namespace vorlane::system {

[[nodiscard]] std::optional<std::string> current_user_sid();
[[nodiscard]] Elevation process_elevation(HANDLE process);
[[nodiscard]] Elevation pid_elevation(DWORD pid);
[[nodiscard]] std::optional<std::uint32_t> session_of_process(DWORD pid);
// Fails when the path needs more than `capacity` units, terminator included.
[[nodiscard]] std::optional<std::string> process_image_path(DWORD pid, DWORD capacity);
// The same through a handle the caller already holds (needs PROCESS_QUERY_LIMITED_INFORMATION).
[[nodiscard]] std::optional<std::string> process_image_path(HANDLE process, DWORD capacity);
[[nodiscard]] std::optional<std::string> input_desktop_name();

// The running program's own token.
class OwnElevationWin32 final : public ElevationQuery {
 public:
  [[nodiscard]] Elevation own_elevation() override;
};

}  // namespace vorlane::system
