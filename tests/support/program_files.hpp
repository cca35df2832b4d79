#pragma once
// Keyward takes Program Files from the system's known folder, which a 64-bit process reads from
// the registry value ProgramFilesDir of HKLM\Software\Microsoft\Windows\CurrentVersion; the
// ProgramFiles and ProgramW6432 variables do not move it. Tests point that value at a folder
// of their own for the programs they start, in the private prefix of the run. Only one such test
// may run at a time.
#include <optional>
#include <string>

namespace vorlane::testing {

// Points Program Files at `folder` for every process started while it lives, then puts the
// value back as it was. A test program that died with a redirect in place left the value it
// found in a backup, which the next redirect restores from.
class ProgramFilesRedirect {
 public:
  explicit ProgramFilesRedirect(const std::wstring& folder);
  ~ProgramFilesRedirect();
  ProgramFilesRedirect(const ProgramFilesRedirect&) = delete;
  ProgramFilesRedirect& operator=(const ProgramFilesRedirect&) = delete;

  // False when the value could not be read or set; the reason is reported as a test failure.
  bool active() const { return active_; }

 private:
  std::optional<std::wstring> original_;
  bool active_ = false;
};

}  // namespace vorlane::testing
