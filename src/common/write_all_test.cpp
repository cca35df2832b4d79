#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "src/common/write_all.hpp"

namespace vorlane {
namespace {

constexpr std::size_t takes_all = static_cast<std::size_t>(-1);

// What the system does on each call, in turn: take this many bytes (`takes_all`: the whole
// piece), or fail (absent). The last answer repeats.
struct WriterCase {
  const char* label;
  std::size_t input_size;
  std::vector<std::optional<std::size_t>> answers;
  bool succeeds;
  std::string error;
  std::size_t calls;
};

void PrintTo(const WriterCase& c, std::ostream* os) { *os << c.label; }

class WriteAll : public ::testing::TestWithParam<WriterCase> {};

TEST_P(WriteAll, EndsWithEveryByteWrittenOrWithAnError) {
  const auto& c = GetParam();
  std::string input(c.input_size, '\0');
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<char>('a' + i % 26);

  std::string file;
  std::size_t calls = 0;
  const WriteSome writer = [&](std::string_view piece) -> std::expected<std::size_t, std::string> {
    EXPECT_LE(piece.size(), max_write_piece);
    EXPECT_FALSE(piece.empty());
    const auto answer = c.answers[std::min(calls, c.answers.size() - 1)];
    ++calls;
    // A loop that never ends is the fault this guards against; stop it here.
    if (calls > input.size() + 10) return std::unexpected(std::string("runaway loop"));
    if (!answer) return std::unexpected(std::string("Disk full. (os error 112)"));
    const std::size_t taken = *answer == takes_all ? piece.size() : *answer;
    file.append(piece.substr(0, std::min(taken, piece.size())));
    return taken;
  };
  const auto outcome =
      write_all(input, writer, [] { return std::string("Write fault. (os error 29)"); });

  EXPECT_EQ(outcome.has_value(), c.succeeds);
  if (c.succeeds) {
    EXPECT_EQ(file, input);
  } else {
    EXPECT_EQ(outcome.error(), c.error);
  }
  EXPECT_EQ(calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Writer, WriteAll,
    ::testing::Values(
        WriterCase{"whole_at_once", 100, {takes_all}, true, "", 1},
        WriterCase{"one_byte_at_a_time", 5, {1}, true, "", 5},
        WriterCase{"large_in_bounded_pieces", (std::size_t{5} << 19) + 7, {takes_all}, true, "", 3},
        WriterCase{"nothing_to_write", 0, {takes_all}, true, "", 0},
        WriterCase{"system_error_half_way", 10, {4, std::nullopt}, false,
                   "Disk full. (os error 112)", 2},
        WriterCase{"zero_bytes_at_once", 10, {0}, false, "Write fault. (os error 29)", 1},
        WriterCase{"zero_bytes_after_progress", 10, {3, 0}, false, "Write fault. (os error 29)", 2},
        WriterCase{"claims_more_than_given", 10, {11}, false, "Write fault. (os error 29)", 1}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace vorlane
