#pragma once
// Explains why Windows accepted fewer input records than it was handed: a locked or secure
// desktop, an elevated foreground window, or just the bare error code.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "src/system/elevation.hpp"

namespace vorlane::input {

// What the diagnosis asks of the host. The Windows version wraps the process and desktop
// queries; every failure there is already reduced to an absent or unknown answer.
class InjectionProbe {
 public:
  virtual ~InjectionProbe() = default;
  virtual std::optional<std::string> input_desktop_name() = 0;
  // The process owning the foreground window; absent without a window or with process id 0.
  virtual std::optional<std::uint32_t> foreground_process_id() = 0;
  virtual system::Elevation pid_elevation(std::uint32_t pid) = 0;
  virtual std::optional<std::string> process_image_path(std::uint32_t pid,
                                                        std::uint32_t capacity) = 0;
};

enum class InjectionFailure { SecureDesktop, DesktopUnreadable, ElevatedForeground, ByErrorCode };

struct [[nodiscard]] InjectionDiagnosis {
  InjectionFailure kind = InjectionFailure::ByErrorCode;
  std::optional<std::string> foreground_name;  // file name of the foreground program
};

inline constexpr std::uint32_t foreground_path_capacity = 512;

// The Win32 error codes the diagnosis tells apart.
inline constexpr std::uint32_t error_none = 0;
inline constexpr std::uint32_t error_access_denied = 5;
inline constexpr std::uint32_t error_invalid_parameter = 87;

// File name of the program that owns the foreground window, or absent.
std::optional<std::string> foreground_process_name(InjectionProbe& probe);

// Looks at the host only for errors 0 and 5; every other code is explained by itself.
// `elevation` answers for the helper's own process.
[[nodiscard]] InjectionDiagnosis classify_injection_failure(InjectionProbe& probe, system::ElevationQuery& elevation,
                                                         std::uint32_t error);

std::string compose_injection_failure(std::uint32_t sent, std::uint32_t requested,
                                      std::uint32_t error, const InjectionDiagnosis& diagnosis);

// The complete user-facing text for a short SendInput count; never fails.
std::string describe_injection_failure(InjectionProbe& probe, system::ElevationQuery& elevation,
                                       std::uint32_t sent, std::uint32_t requested,
                                       std::uint32_t error);

}  // namespace vorlane::input
