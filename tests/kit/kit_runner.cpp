// The test kit's runner, started by run-tests.cmd: runs every test program the manifest beside
// it names, one after the other, and writes one report line per test. A batch file cannot read
// GoogleTest's results reliably (reasons hold characters cmd treats as syntax), so the batch
// file only starts this program.
//
//   kit_runner.exe [--throwaway-machine] [--report FILE] [--only TEXT]
//
// --throwaway-machine  also runs the programs that change machine-wide state or send input to
//                      the desktop; without it their tests are listed as skipped.
// --report FILE        where the report goes (default: test-report.txt beside run-tests.cmd);
//                      each program's console text goes to test-logs\ beside the report.
// --only TEXT          runs only the programs whose file name contains TEXT.
// Exit code: 0 when no test failed, 1 when one did, 2 for a command line it does not understand.
#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "src/common/version.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"
#include "tests/kit/kit_results.hpp"
#include "tests/probes/probe.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto program_timeout = 30min;
const wchar_t* const manifest_name = L"kit-tests.txt";

struct Options {
  bool throwaway = false;
  std::wstring report;
  std::wstring only;
};

struct Entry {
  std::wstring program;
  bool machine_wide = false;
};

// Console text as wide characters when a console shows it, as UTF-8 bytes when redirected.
void say(const std::string& utf8) {
  const std::string text = utf8 + "\r\n";
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0, written = 0;
  if (::GetConsoleMode(out, &mode)) {
    const std::wstring wide = win32::to_wide(text);
    ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

std::optional<Options> parse(int argc, wchar_t** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--throwaway-machine") {
      options.throwaway = true;
    } else if (arg == L"--report" && i + 1 < argc) {
      options.report = argv[++i];
    } else if (arg == L"--only" && i + 1 < argc) {
      options.only = argv[++i];
    } else {
      say("unknown argument: " + win32::to_utf8(arg));
      return std::nullopt;
    }
  }
  return options;
}

std::wstring parent_of(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring full_path(const std::wstring& path) {
  wchar_t buffer[32768];
  const DWORD n = ::GetFullPathNameW(path.c_str(), 32768, buffer, nullptr);
  return n == 0 || n >= 32768 ? path : std::wstring(buffer, n);
}

// "program.exe<TAB>any|throwaway" per line; # starts a comment.
std::vector<Entry> read_manifest(const std::wstring& path) {
  std::vector<Entry> entries;
  std::string text = read_file(path);
  for (const auto& line : lines(text)) {
    if (line.empty() || line.front() == '#') continue;
    const auto tab = line.find('\t');
    entries.push_back({widen(line.substr(0, tab)),
                       tab != std::string::npos && line.substr(tab + 1) == "throwaway"});
  }
  return entries;
}

std::string windows_version() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info{.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW)};
  const auto get = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (!get || get(&info) != 0) return "unknown";
  return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
         std::to_string(info.dwBuildNumber);
}

const char* const machine_wide_reason =
    "changes machine-wide state or sends input to the desktop; run-tests.cmd --throwaway-machine "
    "runs it on a disposable machine";

std::vector<TestLine> run_entry(const Entry& entry, const Options& options, const std::wstring& logs,
                                const TempDir& work) {
  const std::string name = narrow(entry.program.substr(0, entry.program.rfind(L'.')));
  const std::wstring program = bin_path(entry.program);
  if (!file_exists(program)) return {{name, Verdict::failed, "missing from the kit"}};
  if (entry.machine_wide && !options.throwaway) {
    const RunResult listing = run(program, {L"--gtest_list_tests"}, {}, 2min);
    std::vector<TestLine> out;
    for (const auto& test : listed_tests(listing.out)) {
      out.push_back({name + "/" + test, Verdict::skipped, machine_wide_reason});
    }
    if (out.empty()) out.push_back({name, Verdict::skipped, machine_wide_reason});
    return out;
  }
  const std::wstring json = work / (entry.program + L".json");
  EnvChanges env{{L"VORLANE_KIT", L"1"}};
  if (options.throwaway) env[L"VORLANE_KIT_THROWAWAY"] = L"1";
  const RunResult result = run(program, {L"--gtest_output=json:" + json}, env, program_timeout);
  write_file(logs + L"\\" + widen(name) + L".log", result.out + result.err);
  std::optional<std::string> results;
  if (file_exists(json)) results = read_file(json);
  return program_results(name, results, result.out, result.exit_code, result.timed_out);
}

int run_kit(int argc, wchar_t** argv) {
  const auto options = parse(argc, argv);
  if (!options) {
    say("usage: run-tests.cmd [--throwaway-machine] [--report FILE] [--only TEXT]");
    return 2;
  }
  const std::wstring kit_root = parent_of(bin_dir());
  const std::wstring report =
      full_path(options->report.empty() ? kit_root + L"\\test-report.txt" : options->report);
  const std::wstring logs = parent_of(report) + L"\\test-logs";
  create_directories(logs);

  say("Vorlane helpers test kit " + std::string(version_text));
  const auto wine = wine_version();
  say("Windows " + windows_version() + (wine ? ", under Wine " + *wine : std::string()));
  if (elevated()) {
    say("Running as administrator.");
  } else {
    say("NOT running as administrator: tests that need an elevated run will fail. Start "
        "run-tests.cmd from a command prompt opened with \"Run as administrator\".");
  }
  say(options->throwaway
          ? "Throwaway machine: tests that change machine-wide state and send input run too."
          : "Tests that change machine-wide state or send input are skipped (no --throwaway-machine).");

  const auto entries = read_manifest(bin_path(manifest_name));
  if (entries.empty()) {
    say("the manifest " + narrow(bin_path(manifest_name)) + " names no test program");
    return 1;
  }
  const TempDir work;
  std::vector<TestLine> all;
  for (const auto& entry : entries) {
    if (!options->only.empty() && entry.program.find(options->only) == std::wstring::npos) continue;
    const auto results = run_entry(entry, *options, logs, work);
    say(narrow(entry.program) + ": " + summary(count(results)));
    for (const auto& line : results) {
      if (line.verdict == Verdict::failed) say("  failed: " + line.name + ": " + line.reason);
    }
    all.insert(all.end(), results.begin(), results.end());
  }
  const std::string totals = summary(count(all));
  std::string text;
  for (const auto& line : all) text += report_line(line) + "\r\n";
  text += totals + "\r\n";
  if (!write_file(report, text)) say("could not write the report " + narrow(report));
  say("Report: " + narrow(report));
  say(totals);
  return count(all).failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace vorlane::testing

int wmain(int argc, wchar_t** argv) { return vorlane::testing::run_kit(argc, argv); }
