#pragma once
// Small stateless queries about identities, processes and the input desktop. Every failure
// becomes an absent or unknown answer; every handle opened here is closed before returning.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "src/system/elevation.hpp"

namespace vorlane::win32 {

std::optional<std::string> current_user_sid();
Elevation process_elevation(HANDLE process);
Elevation pid_elevation(DWORD pid);
std::optional<std::uint32_t> session_of_process(DWORD pid);
std::optional<std::string> process_image_path(DWORD pid, DWORD capacity);
// The same through a handle the caller already holds (needs PROCESS_QUERY_LIMITED_INFORMATION).
std::optional<std::string> process_image_path(HANDLE process, DWORD capacity);
std::optional<std::string> input_desktop_name();

}  // namespace vorlane::win32
