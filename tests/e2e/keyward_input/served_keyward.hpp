#pragma once
// Keyward.exe --serve for a test or a demonstration: a throwaway Program Files folder (the
// system's while this lives) holding the user's setup record, the stand-in client copied to the
// recorded Vorlane.exe path, and the serving helper.
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/program_files.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {

class ServedKeyward {
 public:
  // Prepares everything and starts the helper; the text says what could not be prepared.
  static std::expected<std::unique_ptr<ServedKeyward>, std::string> start();
  ~ServedKeyward();

  // One client session: each step is a line the client sends (and reads one reply for), or one
  // of the client's "@" steps. The client ends after the last step and so closes its end.
  RunResult session(const std::vector<std::string>& steps) const;

  const Child& helper() const { return keyward_; }
  const std::string& pipe_name() const { return pipe_; }
  const std::wstring& client_path() const { return client_path_; }

 private:
  ServedKeyward() = default;

  TempDir root_;
  std::optional<ProgramFilesRedirect> redirect_;
  std::wstring client_path_;
  std::string pipe_;
  Child keyward_;
};

// The reply lines ("<< ...") of a client run, without the prefix.
std::vector<std::string> replies(const RunResult& client_run);

}  // namespace vorlane::testing
