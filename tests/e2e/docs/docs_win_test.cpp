// docs/client.md under Wine: the guide's examples are what Keyward.exe really does.
#include <windows.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/keyward_serve/keyward_e2e.hpp"

namespace vorlane::testing {
namespace {


struct Example {
  std::string info;  // the word after the opening fence
  int line = 0;      // of the opening fence, for the failure message
  std::string body;  // the lines between the fences, each ending in "\n"
};

std::vector<Example> fenced_examples(const std::string& guide, const std::string& info) {
  std::vector<Example> found;
  std::optional<Example> open;
  int number = 0;
  for (const std::string& line : testing::lines(guide)) {
    ++number;
    if (!line.starts_with("```")) {
      if (open) open->body += line + "\n";
      continue;
    }
    if (open) {
      if (open->info == info) found.push_back(*open);
      open.reset();
    } else {
      open = Example{line.substr(3), number, {}};
    }
  }
  return found;
}

// The client's steps for a transcript: a line sent and answered is one request; a line the
// helper answers by closing is only sent; "<< [closed]" waits for the close.
std::vector<std::wstring> steps_of(const std::string& transcript) {
  const std::vector<std::string> lines = testing::lines(transcript);
  std::vector<std::wstring> steps;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line == "<< [closed]") {
      steps.push_back(L"@expect-close");
    } else if (line.starts_with(">> ")) {
      const bool answered = i + 1 < lines.size() && lines[i + 1].starts_with("<< ") &&
                            lines[i + 1] != "<< [closed]";
      steps.push_back((answered ? L"" : L"@send ") + widen(line.substr(3)));
      if (answered) ++i;
    } else {
      ADD_FAILURE() << "not a transcript line: " << line;
    }
  }
  return steps;
}

std::string guide() { return testing::read_file(testing::bin_path(L"client.md")); }

TEST(ClientGuide, EveryTranscriptIsWhatTheHelperSends) {
  const std::vector<Example> transcripts = fenced_examples(guide(), "session");
  ASSERT_FALSE(transcripts.empty()) << "no session examples found in client.md";
  const std::wstring pipe = unique_pipe_name();
  Child keyward = Child::start(testing::bin_path(L"Keyward.exe"), {L"--test-mode", L"--pipe", pipe});
  for (const Example& transcript : transcripts) {
    SCOPED_TRACE("client.md line " + std::to_string(transcript.line));
    const RunResult replayed = client(pipe, steps_of(transcript.body));
    EXPECT_EQ(replayed.exit_code, 0u) << replayed.out;
    EXPECT_EQ(replayed.out, transcript.body);
  }
}

TEST(ClientGuide, RunOutcomeExampleIsWhatARunWithoutArgumentsWrites) {
  const std::vector<Example> outcomes = fenced_examples(guide(), "outcome");
  ASSERT_EQ(outcomes.size(), 1u) << "one run outcome example expected in client.md";
  TempDir local_app_data;
  const long long before = unix_now();
  const RunResult run = testing::run(testing::bin_path(L"Keyward.exe"), {},
                                     {{L"LOCALAPPDATA", local_app_data.path()}});
  EXPECT_EQ(run.exit_code, 1u);
  const std::string written =
      testing::read_file(local_app_data / L"Vorlane\\input-helper-setup.json");
  const Outcome outcome = parse_outcome(written);
  EXPECT_GE(outcome.at, before);
  // The example's time is the one thing a real run cannot repeat; the file has no final line break.
  std::string example = outcomes.front().body;
  example.pop_back();
  example = std::regex_replace(example, std::regex("\"at\": [0-9]+"),
                               "\"at\": " + std::to_string(outcome.at));
  EXPECT_EQ(written, example);
}

}  // namespace
}  // namespace vorlane::testing
