#include "src/input/failure_diagnosis.hpp"

#include "src/common/text.hpp"
#include "src/input/input_texts.hpp"

namespace vorlane::input {
namespace {

// The normal interactive desktop; any other input desktop is the lock screen or a UAC prompt.
constexpr std::string_view default_desktop = "Default";

std::string named(std::string_view before, const std::string& name, std::string_view after) {
  std::string text(before);
  text += name;
  text += after;
  return text;
}

std::string suffix_for(std::uint32_t error, const InjectionDiagnosis& diagnosis) {
  const auto& name = diagnosis.foreground_name;
  switch (diagnosis.kind) {
    case InjectionFailure::SecureDesktop:
      return std::string(secure_desktop);
    case InjectionFailure::DesktopUnreadable:
      return std::string(desktop_unreadable);
    case InjectionFailure::ElevatedForeground:
      return name ? named(elevated_foreground_named_before, *name,
                          elevated_foreground_named_after)
                  : std::string(elevated_foreground);
    case InjectionFailure::ByErrorCode:
      break;
  }
  switch (error) {
    case error_none:
      return std::string(error_0);
    case error_access_denied:
      return name ? named(error_5_named_before, *name, error_5_named_after)
                  : std::string(error_5);
    case error_invalid_parameter:
      return std::string(error_87);
    default:
      return std::string(other_error) + std::to_string(error);
  }
}

}  // namespace

std::optional<std::string> foreground_process_name(InjectionProbe& probe) {
  const std::optional<std::uint32_t> pid = probe.foreground_process_id();
  if (!pid) {
    return std::nullopt;
  }
  const std::optional<std::string> path = probe.process_image_path(*pid, foreground_path_capacity);
  if (!path) {
    return std::nullopt;
  }
  const std::size_t separator = path->find_last_of("\\/");
  std::string name = separator == std::string::npos ? *path : path->substr(separator + 1);
  if (name.empty()) {
    return std::nullopt;
  }
  return name;
}

InjectionDiagnosis classify_injection_failure(InjectionProbe& probe, system::ElevationQuery& elevation,
                                              std::uint32_t error) {
  if (error != error_none && error != error_access_denied) {
    return {InjectionFailure::ByErrorCode, std::nullopt};
  }
  const std::optional<std::string> desktop = probe.input_desktop_name();
  if (!desktop) {
    return {InjectionFailure::DesktopUnreadable, std::nullopt};
  }
  if (!ascii_iequals(*desktop, default_desktop)) {
    return {InjectionFailure::SecureDesktop, std::nullopt};
  }
  InjectionDiagnosis diagnosis{InjectionFailure::ByErrorCode, foreground_process_name(probe)};
  // The foreground is looked up afresh: it may have changed since the name was read.
  const std::optional<std::uint32_t> pid = probe.foreground_process_id();
  if (!pid || probe.pid_elevation(*pid) != system::Elevation::elevated) {
    return diagnosis;
  }
  if (elevation.own_elevation() != system::Elevation::elevated) {
    diagnosis.kind = InjectionFailure::ElevatedForeground;
  }
  return diagnosis;
}

std::string compose_injection_failure(std::uint32_t sent, std::uint32_t requested,
                                      std::uint32_t error, const InjectionDiagnosis& diagnosis) {
  std::string text(failure_base_open);
  text += std::to_string(sent);
  text += '/';
  text += std::to_string(requested);
  text += failure_base_close;
  text += suffix_for(error, diagnosis);
  return text;
}

std::string describe_injection_failure(InjectionProbe& probe, system::ElevationQuery& elevation,
                                       std::uint32_t sent, std::uint32_t requested,
                                       std::uint32_t error) {
  return compose_injection_failure(sent, requested, error,
                                   classify_injection_failure(probe, elevation, error));
}

}  // namespace vorlane::input
