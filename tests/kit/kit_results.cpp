#include "tests/kit/kit_results.hpp"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace vorlane::testing {
namespace {

constexpr std::size_t max_reason = 400;

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> out;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return out;
}

// Lines joined with " | ", tabs made spaces, cut to a length a report line can carry.
std::string one_line(std::string_view text) {
  std::string out;
  for (const auto line : split_lines(text)) {
    const auto part = trim(line);
    if (part.empty()) continue;
    if (!out.empty()) out += " | ";
    out += part;
  }
  std::replace(out.begin(), out.end(), '\t', ' ');
  if (out.size() > max_reason) {
    out.resize(max_reason);
    // Never end inside a UTF-8 sequence.
    while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
    if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0) out.pop_back();
    out += "...";
  }
  return out;
}

std::string after_marker(std::string_view line, std::string_view marker) {
  if (!line.starts_with(marker)) return {};
  std::string_view rest = trim(line.substr(marker.size()));
  // "[  SKIPPED ] Suite.Test (12 ms)"
  if (const auto space = rest.find(' '); space != std::string_view::npos) rest = rest.substr(0, space);
  return std::string(rest);
}

}  // namespace

std::string_view verdict_text(Verdict verdict) {
  switch (verdict) {
    case Verdict::passed: return "passed";
    case Verdict::failed: return "failed";
    case Verdict::skipped: return "skipped";
  }
  return "failed";
}

std::vector<std::string> listed_tests(std::string_view listing) {
  std::vector<std::string> out;
  std::string suite;
  for (const auto raw : split_lines(listing)) {
    std::string_view line = raw;
    if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    if (trim(line).empty()) continue;
    if (line.front() != ' ') {
      suite = std::string(trim(line));
      continue;
    }
    if (!suite.empty()) out.push_back(suite + std::string(trim(line)));
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> skip_reasons(std::string_view console) {
  std::vector<std::pair<std::string, std::string>> out;
  std::string running;
  std::vector<std::string_view> body;
  for (const auto line : split_lines(console)) {
    if (auto name = after_marker(line, "[ RUN      ]"); !name.empty()) {
      running = std::move(name);
      body.clear();
      continue;
    }
    if (auto name = after_marker(line, "[  SKIPPED ]"); !name.empty()) {
      if (name != running) continue;
      // GoogleTest writes "<file>:<line>: Skipped", then the message; the test's own output
      // may come before it.
      auto marker = std::find_if(body.rbegin(), body.rend(),
                                 [](std::string_view l) { return trim(l).ends_with("Skipped"); });
      std::string message;
      for (auto it = marker == body.rend() ? body.begin() : marker.base(); it != body.end(); ++it) {
        message += std::string(*it) + "\n";
      }
      out.emplace_back(name, one_line(message));
      running.clear();
      continue;
    }
    if (!running.empty()) body.push_back(line);
  }
  return out;
}

std::vector<TestLine> program_results(std::string_view program, const std::optional<std::string>& json,
                                      std::string_view console, std::uint32_t exit_code,
                                      bool timed_out) {
  std::vector<TestLine> out;
  const std::string prefix = std::string(program) + "/";
  const auto reasons = skip_reasons(console);
  bool read = false;
  // Members of an unexpected type throw; such results count as none written.
  if (json) try {
    const auto doc = nlohmann::json::parse(*json, nullptr, false);
    if (doc.is_object() && doc.contains("testsuites") && doc["testsuites"].is_array()) {
      read = true;
      for (const auto& suite : doc["testsuites"]) {
        const std::string suite_name = suite.value("name", "");
        if (!suite.contains("testsuite") || !suite["testsuite"].is_array()) continue;
        for (const auto& test : suite["testsuite"]) {
          // Disabled tests are listed as not run; they are nobody's result.
          if (test.value("status", "RUN") != "RUN") continue;
          TestLine line{.name = prefix + suite_name + "." + test.value("name", "")};
          const auto failures = test.find("failures");
          if (failures != test.end() && failures->is_array() && !failures->empty()) {
            line.verdict = Verdict::failed;
            std::string text;
            for (const auto& failure : *failures) text += failure.value("failure", "") + "\n";
            line.reason = one_line(text);
          } else if (test.value("result", "") == "SKIPPED") {
            line.verdict = Verdict::skipped;
            const std::string full = suite_name + "." + test.value("name", "");
            for (const auto& [name, reason] : reasons) {
              if (name == full) line.reason = reason;
            }
            if (line.reason.empty()) line.reason = "skipped without a reason";
          } else if (test.contains("observed") && test["observed"].is_string()) {
            // What a probe saw, recorded as a test property, is worth reading even on a pass.
            line.reason = one_line("observed: " + test["observed"].get<std::string>());
          }
          out.push_back(std::move(line));
        }
      }
    }
  } catch (const nlohmann::json::exception&) {
    out.clear();
    read = false;
  }
  const bool any_failed =
      std::any_of(out.begin(), out.end(), [](const TestLine& l) { return l.verdict == Verdict::failed; });
  if (timed_out) {
    out.push_back({std::string(program), Verdict::failed, "did not finish in time and was ended"});
  } else if (!read) {
    out.push_back({std::string(program), Verdict::failed,
                   "wrote no results; exit code " + std::to_string(exit_code)});
  } else if (exit_code != 0 && !any_failed) {
    out.push_back({std::string(program), Verdict::failed,
                   "no test failed, yet it ended with exit code " + std::to_string(exit_code)});
  }
  return out;
}

std::string report_line(const TestLine& line) {
  return line.name + "\t" + std::string(verdict_text(line.verdict)) + "\t" + one_line(line.reason);
}

Counts count(const std::vector<TestLine>& lines) {
  Counts counts;
  for (const auto& line : lines) {
    switch (line.verdict) {
      case Verdict::passed: ++counts.passed; break;
      case Verdict::failed: ++counts.failed; break;
      case Verdict::skipped: ++counts.skipped; break;
    }
  }
  return counts;
}

std::string summary(const Counts& counts) {
  return std::to_string(counts.passed) + " passed, " + std::to_string(counts.failed) + " failed, " +
         std::to_string(counts.skipped) + " skipped";
}

}  // namespace vorlane::testing
