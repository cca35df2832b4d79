#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "src/entry/user_rights.hpp"

namespace vorlane::entry {
namespace {

using Calls = std::vector<std::string>;

// Records every call in one journal with the write; fails the call named by `failing`.
class FakeUserToken final : public UserTokenCalls {
 public:
  Calls journal;
  std::string failing;

  bool open_process_token() override { return step("open process token"); }
  bool create_restricted_token() override { return step("create restricted token"); }
  bool lower_to_medium_integrity() override { return step("lower to medium integrity"); }
  bool duplicate_for_impersonation() override { return step("duplicate for impersonation"); }
  bool impersonate() override { return step("impersonate"); }
  void revert() override { journal.push_back("revert"); }

 private:
  bool step(const std::string& name) {
    journal.push_back(name);
    return name != failing;
  }
};

const Calls token_made{"open process token", "create restricted token", "lower to medium integrity",
                       "duplicate for impersonation", "impersonate"};

Calls with(Calls calls, std::initializer_list<std::string> more) {
  calls.insert(calls.end(), more);
  return calls;
}

// Whatever the write gives, it runs between impersonating and reverting, and its result stands.
class WriteAsUser : public ::testing::TestWithParam<FileWrite> {};

TEST_P(WriteAsUser, WritesOnlyWhileImpersonatingAndRevertsAfterwards) {
  FakeUserToken token;
  const FileWrite result = write_as_user(token, [&] {
    token.journal.push_back("write");
    return GetParam();
  });
  EXPECT_EQ(result, GetParam());
  EXPECT_EQ(token.journal, with(token_made, {"write", "revert"}));
}

INSTANTIATE_TEST_SUITE_P(Results, WriteAsUser,
                         ::testing::Values(FileWrite::written, FileWrite::failed, FileWrite::refused));

TEST(WriteAsUser, RevertsWhenTheWriteThrows) {
  FakeUserToken token;
  EXPECT_THROW((void)write_as_user(token, []() -> FileWrite { throw std::bad_alloc(); }), std::bad_alloc);
  EXPECT_EQ(token.journal, with(token_made, {"revert"}));
}

// A call that fails ends the sequence there: nothing is written with the process's own rights,
// and the thread, never changed, has nothing to revert.
class WriteAsUserFailure : public ::testing::TestWithParam<std::size_t> {};

TEST_P(WriteAsUserFailure, WritesNothingAndIsRefused) {
  FakeUserToken token;
  token.failing = token_made[GetParam()];
  bool written = false;
  EXPECT_EQ(write_as_user(token, [&] {
              written = true;
              return FileWrite::written;
            }),
            FileWrite::refused);
  EXPECT_FALSE(written);
  EXPECT_EQ(token.journal, Calls(token_made.begin(), token_made.begin() + GetParam() + 1));
}

INSTANTIATE_TEST_SUITE_P(Calls, WriteAsUserFailure, ::testing::Range<std::size_t>(0, 5),
                         [](const auto& info) {
                           std::string name = token_made[info.param];
                           for (auto& c : name) c = c == ' ' ? '_' : c;
                           return name;
                         });

}  // namespace
}  // namespace vorlane::entry
