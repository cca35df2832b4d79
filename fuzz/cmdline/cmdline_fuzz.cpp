// The command line the schtasks runner builds, and any UTF-16 command line, through the splitter
// that every program of the tree reads its words with.
//
// Oracle:
// - For a program path (no double quote: quotes only toggle quoting in the first word, and no
//   Windows path holds one) and any list of UTF-8 arguments, splitting the UTF-16 form of
//   command_line gives the program and the arguments back, unchanged and in order.
// - Any UTF-16 command line splits without a crash into words that together hold no more
//   units than the line, and no more words than units plus one; quoting those words again
//   and splitting gives the same words.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "src/common/cmdline.hpp"
#include "src/common/text.hpp"
#include "src/setup/schtasks.hpp"

namespace {

using namespace vorlane;

[[noreturn]] void disagree(const char* what) {
  std::fprintf(stderr, "command-line oracle: %s\n", what);
  std::abort();
}

std::vector<std::string> split_runner_line(const std::string& program,
                                           const std::vector<std::string>& args) {
  return split_command_line_utf8(utf8_to_utf16(setup::command_line(program, args)));
}

void check_quoting_round_trip(FuzzedDataProvider& input) {
  std::string program = sanitize_utf8(input.ConsumeRandomLengthString(260));
  std::erase(program, '"');
  std::vector<std::string> args;
  for (std::size_t n = input.ConsumeIntegralInRange<std::size_t>(0, 8); n > 0; --n) {
    args.push_back(sanitize_utf8(input.ConsumeRandomLengthString(200)));
  }
  std::vector<std::string> expected{program};
  expected.insert(expected.end(), args.begin(), args.end());
  if (split_runner_line(program, args) != expected) disagree("the split words differ from the arguments");
}

void check_any_line(const std::u16string& line) {
  const auto words = split_command_line(line);
  std::size_t units = 0;
  for (const auto& word : words) units += word.size();
  if (units > line.size() || words.size() > line.size() + 1) disagree("the words outgrew the line");

  const auto utf8_words = split_command_line_utf8(line);
  if (utf8_words.size() != words.size()) disagree("the UTF-8 split has another word count");
  const std::vector<std::string> args(utf8_words.begin() + 1, utf8_words.end());
  if (split_runner_line(utf8_words.front(), args) != utf8_words) {
    disagree("quoting the split words again changes them");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  check_quoting_round_trip(input);
  const std::vector<std::uint8_t> rest = input.ConsumeRemainingBytes<std::uint8_t>();
  std::u16string line;
  for (std::size_t i = 0; i + 1 < rest.size(); i += 2) {
    line.push_back(static_cast<char16_t>(rest[i] | rest[i + 1] << 8));
  }
  check_any_line(line);
  return 0;
}
