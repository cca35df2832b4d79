#include "tests/e2e/keyward_input/served_keyward.hpp"

#include <windows.h>

#include <chrono>

#include "src/common/version.hpp"
#include "src/setup/record.hpp"
#include "src/system/queries_win32.hpp"

namespace vorlane::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto client_deadline = 60s;

}  // namespace

std::expected<std::unique_ptr<ServedKeyward>, std::string> ServedKeyward::start() {
  std::unique_ptr<ServedKeyward> served(new ServedKeyward());
  const std::optional<std::string> sid = system::current_user_sid();
  const std::optional<std::uint32_t> session = system::session_of_process(::GetCurrentProcessId());
  if (!sid || !session) {
    return std::unexpected(std::string("cannot read the user SID or the session"));
  }
  served->pipe_ = "vorlane-input-" + *sid + "-" + std::to_string(*session);

  const std::wstring program_files = served->root_ / L"Program Files";
  const std::wstring gui_dir = served->root_ / L"Vorlane";
  served->client_path_ = gui_dir + L"\\Vorlane.exe";
  create_directories(gui_dir);
  if (!copy_file(bin_path(L"vorlane_client.exe"), served->client_path_)) {
    return std::unexpected(std::string("cannot copy the stand-in client"));
  }
  const std::wstring users = program_files + L"\\Vorlane\\InputHelper\\users";
  create_directories(users);
  const auto record = setup::serialize_record({.version = std::string(version_text),
                                                .user_sid = *sid,
                                                .gui_path = narrow(served->client_path_),
                                                .task_name = "Keyward (" + *sid + ")",
                                                .installed_at = 1700000000});
  if (!record || !write_file(users + L"\\" + widen(*sid) + L".json", *record)) {
    return std::unexpected(std::string("cannot write the setup record"));
  }
  served->redirect_.emplace(program_files);
  if (!served->redirect_->active()) {
    return std::unexpected(std::string("cannot point Program Files at the throwaway folder"));
  }
  const EnvChanges env{{L"LOCALAPPDATA", served->root_ / L"Local"}};
  served->keyward_ = Child::start(bin_path(L"Keyward.exe"), {L"--serve"}, env);
  if (!served->keyward_.running()) {
    return std::unexpected(std::string("Keyward.exe --serve did not start"));
  }
  return served;
}

ServedKeyward::~ServedKeyward() {
  // The serving helper never ends on its own.
  keyward_.kill();
}

RunResult ServedKeyward::session(const std::vector<std::string>& steps) const {
  std::vector<std::wstring> args{L"--pipe", widen(pipe_)};
  for (const std::string& step : steps) {
    args.push_back(widen(step));
  }
  return run(client_path_, args, {}, client_deadline);
}

std::vector<std::string> replies(const RunResult& client_run) {
  std::vector<std::string> found;
  for (const std::string& line : lines(client_run.out)) {
    if (line.starts_with("<< ")) {
      found.push_back(line.substr(3));
    }
  }
  return found;
}

}  // namespace vorlane::testing
