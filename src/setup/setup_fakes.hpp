#pragma once
// An in-memory machine for the install and uninstall procedures: files and folders in maps,
// scripted schtasks results, and a journal of every effect in the order it happened. One object
// plays every part, so the journal orders effects across them.
#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "src/setup/platform.hpp"
#include "src/system/fake_elevation.hpp"

namespace vorlane::setup {

inline const std::string fake_sid = "S-1-5-21-7-8-9-1001";
inline const std::string fake_program_files = "C:\\PF";
inline const std::string fake_install_dir = "C:\\PF\\Vorlane\\InputHelper";
inline const std::string fake_installed_program = "C:\\PF\\Vorlane\\InputHelper\\Keyward.exe";
inline const std::string fake_records_dir = "C:\\PF\\Vorlane\\InputHelper\\users";
inline const std::string fake_record = fake_records_dir + "\\" + fake_sid + ".json";
inline const std::string fake_task = "Keyward (" + fake_sid + ")";
inline const std::string fake_own_program = "C:\\Downloads\\Keyward.exe";
inline const std::string fake_gui_dir = "C:\\Apps\\Vorlane";
inline const std::string fake_task_file = fake_install_dir + "\\keyward-4242.xml";

class FakeMachine final : public UserIdentity,
                          public SetupFiles,
                          public OwnProgram,
                          public TaskScheduler,
                          public Clock,
                          public WallClock {
 public:
  FakeMachine() {
    files[fake_own_program] = "program bytes";
    files[fake_gui_dir + "\\Vorlane.exe"] = "gui";
    dirs = {"C:\\Downloads", fake_gui_dir, fake_program_files};
  }

  // Scripted answers.
  system::FakeElevation token;  // the elevation of this process's token
  std::optional<std::string> sid = fake_sid;
  std::expected<std::string, std::string> program_files = fake_program_files;
  std::expected<std::string, std::string> own_path = fake_own_program;  // what the open yields
  // Whether the held file is the running image, or why that could not be asked.
  std::expected<bool, std::string> running_image = true;
  std::uint64_t wall_seconds = 1765350000;
  std::map<std::string, SchtasksRun> schtasks_by_verb;  // "/End" -> result; default exit 0
  std::set<std::string> failing_dirs;                   // create_directories fails for these
  std::set<std::string> failing_writes;                 // writes fail for these
  std::function<void()> on_end;                         // runs inside the "/End" run
  int copy_failures = 0;                                // the first n copies fail
  std::map<std::string, int> remove_failures;           // the first n removals of a path fail
  std::set<std::string> unlistable;                     // listing fails for these

  // The machine.
  std::map<std::string, std::string> files;
  std::set<std::string> dirs;
  std::vector<std::string> journal;
  std::vector<std::vector<std::string>> schtasks_runs;

  // What the procedures take: every part played by this machine.
  SetupSystem system() { return {token, *this, *this, *this, *this, *this, *this}; }

  std::optional<std::string> current_user_sid() override { return sid; }
  std::uint32_t process_id() override { return 4242; }
  std::expected<std::string, std::string> program_files_dir() override { return program_files; }
  bool is_file(const std::string& path) override { return files.contains(path); }
  // Holds the bytes the file had when opened: what the handle reads, whatever the name later
  // names.
  std::expected<std::string, std::string> open() override {
    ++own_program_opens;
    if (own_path && files.contains(*own_path)) held_program = files.at(*own_path);
    return own_path;
  }

  std::expected<bool, std::string> is_running_image() override {
    journal.push_back("compare image");
    return running_image;
  }

  std::expected<void, std::string> create_directories(const std::string& path) override {
    journal.push_back("mkdir " + path);
    if (failing_dirs.contains(path)) return std::unexpected(std::string("Access denied. (os error 5)"));
    for (std::size_t cut = path.find('\\', 3); cut != std::string::npos; cut = path.find('\\', cut + 1)) {
      dirs.insert(path.substr(0, cut));
    }
    dirs.insert(path);
    return {};
  }
  std::expected<void, std::string> copy_to(const std::string& to) override {
    journal.push_back("copy " + to);
    if (!held_program) return std::unexpected(std::string("Invalid handle. (os error 6)"));
    if (copy_failures > 0) {
      const int left = copy_failures--;
      return std::unexpected("Sharing violation. (os error 32) #" + std::to_string(left));
    }
    files[to] = *held_program;
    return {};
  }
  std::expected<void, std::string> write_file(const std::string& path, std::string_view bytes) override {
    journal.push_back("write " + path);
    return store(path, bytes);
  }
  std::expected<void, std::string> write_new_file(const std::string& path, std::string_view bytes) override {
    journal.push_back("create " + path);
    if (files.contains(path)) return std::unexpected(std::string("File exists. (os error 80)"));
    return store(path, bytes);
  }
  bool remove_file(const std::string& path) override {
    journal.push_back("remove " + path);
    if (auto& left = remove_failures[path]; left > 0 && files.contains(path)) {
      --left;
      return false;
    }
    return files.erase(path) == 1;
  }
  bool remove_empty_directory(const std::string& path) override {
    journal.push_back("rmdir " + path);
    if (!dirs.contains(path) || !children(path).empty()) return false;
    dirs.erase(path);
    return true;
  }
  std::optional<std::vector<std::string>> list_directory(const std::string& path) override {
    journal.push_back("list " + path);
    if (!dirs.contains(path) || unlistable.contains(path)) return std::nullopt;
    std::vector<std::string> names{".", ".."};
    for (const auto& child : children(path)) names.push_back(child);
    return names;
  }
  SchtasksRun run_schtasks(const std::vector<std::string>& args) override {
    std::string line = "schtasks";
    for (const auto& arg : args) line += " " + arg;
    journal.push_back(line);
    schtasks_runs.push_back(args);
    if (args[0] == "/Create") created_task_file = files.contains(args[4]) ? files[args[4]] : "";
    if (args[0] == "/End" && on_end) on_end();
    const auto scripted = schtasks_by_verb.find(args[0]);
    return scripted == schtasks_by_verb.end() ? SchtasksRun{} : scripted->second;
  }
  // Sleeps are journalled among the other effects; the monotonic reading is not used here.
  time_point now() override { return {}; }
  void sleep(std::chrono::milliseconds pause) override {
    journal.push_back("sleep " + std::to_string(pause.count()));
  }
  std::uint64_t unix_seconds() override { return wall_seconds; }

  // What the task definition file held when "/Create" ran.
  std::string created_task_file;
  // The own program as the held handle reads it, once opened.
  std::optional<std::string> held_program;
  int own_program_opens = 0;

  int count(std::string_view prefix) const {
    return static_cast<int>(std::count_if(journal.begin(), journal.end(),
                                          [&](const std::string& e) { return e.starts_with(prefix); }));
  }
  std::vector<std::string> verbs() const {
    std::vector<std::string> out;
    for (const auto& run : schtasks_runs) out.push_back(run[0]);
    return out;
  }

 private:
  std::expected<void, std::string> store(const std::string& path, std::string_view bytes) {
    if (failing_writes.contains(path)) return std::unexpected(std::string("Disk full. (os error 112)"));
    if (!dirs.contains(path.substr(0, path.rfind('\\')))) {
      return std::unexpected(std::string("Path not found. (os error 3)"));
    }
    files[path] = std::string(bytes);
    return {};
  }
  std::vector<std::string> children(const std::string& dir) const {
    std::vector<std::string> out;
    const std::string prefix = dir + "\\";
    auto direct = [&](const std::string& path) {
      return path.starts_with(prefix) && path.find('\\', prefix.size()) == std::string::npos;
    };
    for (const auto& [path, bytes] : files) if (direct(path)) out.push_back(path.substr(prefix.size()));
    for (const auto& path : dirs) if (direct(path)) out.push_back(path.substr(prefix.size()));
    return out;
  }
};

}  // namespace vorlane::setup
