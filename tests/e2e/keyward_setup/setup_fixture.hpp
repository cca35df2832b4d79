#pragma once
// A throwaway machine layout for one setup test: Program Files (the system's, redirected), a
// decoy folder the ProgramFiles and ProgramW6432 variables name, LOCALAPPDATA, TEMP, a folder
// with a Vorlane.exe and the schtasks double's settings folder, all under one temporary folder.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/program_files.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {

// The user every Wine process runs as.
inline const std::string wine_sid = "S-1-5-21-0-0-0-1000";
inline const std::string wine_task = "Keyward (S-1-5-21-0-0-0-1000)";

// Puts the schtasks double in place of the prefix's system tool for the life of the test
// program, and puts the original back afterwards.
class SchtasksDoubleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;
};

class SetupMachine : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  EnvChanges environment() const;
  RunResult keyward(const std::vector<std::wstring>& args) const {
    return keyward_from(bin_path(L"Keyward.exe"), args);
  }
  RunResult keyward_from(const std::wstring& program, const std::vector<std::wstring>& args) const;
  RunResult install() const;
  // Keyward.exe started with the limited token linked to this process's elevated one; only
  // the exit code is kept.
  DWORD keyward_not_elevated(const std::vector<std::wstring>& args) const;
  RunResult uninstall() const { return keyward({L"--uninstall"}); }

  // The run outcome file, parsed; a discarded value when missing or not JSON.
  nlohmann::json outcome() const;
  // The command lines schtasks received, one per run, and the program files that ran.
  std::vector<std::string> schtasks_log() const;
  std::vector<std::string> schtasks_images() const;
  // Tells the double to fail one verb ("create") with an exit code and output texts.
  void fail_schtasks(const std::wstring& verb, int code, const std::string& out,
                     const std::string& err) const;
  // The process the double's /Run started for the user's task, if it still runs.
  DWORD running_helper_pid() const;

  std::wstring program_files() const { return root_ / L"pf"; }
  std::wstring vorlane_dir() const { return program_files() + L"\\Vorlane"; }
  std::wstring install_dir() const { return vorlane_dir() + L"\\InputHelper"; }
  std::wstring installed_program() const { return install_dir() + L"\\Keyward.exe"; }
  std::wstring records_dir() const { return install_dir() + L"\\users"; }
  std::wstring record_file(const std::string& sid) const {
    return records_dir() + L"\\" + widen(sid) + L".json";
  }
  // What the environment names as Program Files; nothing may land there.
  std::wstring decoy_program_files() const { return root_ / L"decoy"; }
  // TEMP and TMP of the programs started; the install writes nothing there.
  std::wstring temp_dir() const { return root_ / L"temp"; }
  // A folder the user's programs can change, for a program started from outside Program Files.
  std::wstring user_dir() const { return root_ / L"user"; }
  std::wstring local_app_data() const { return root_ / L"la"; }
  std::wstring gui_dir() const { return root_ / L"gui"; }
  std::wstring double_dir() const { return root_ / L"schtasks"; }

 private:
  TempDir root_;
  std::optional<ProgramFilesRedirect> redirect_;
};

bool process_running(DWORD pid);
// True when the folder exists and holds nothing.
bool folder_empty(const std::wstring& path);

}  // namespace vorlane::testing
