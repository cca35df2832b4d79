#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "installer/shutdown-helper/unlock_walk.hpp"
#include "src/common/manual_clock.hpp"
#include "src/common/text.hpp"

namespace vorlane::haltgate {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

constexpr const char* sharing_violation =
    "The process cannot access the file because it is being used by another process. (os error 32)";
const std::u16string final_root = u"\\\\?\\C:\\Real\\App";  // where C:\App leads

std::u16string u16(std::string_view utf8) { return utf8_to_utf16(utf8); }
std::string u8(std::u16string_view utf16) { return utf16_to_utf8(utf16); }

std::u16string under(const std::u16string& folder, const std::u16string& name) {
  return name.empty() ? folder : folder + u"\\" + name;
}

class FakeListing : public FolderListing {
 public:
  FakeListing(std::vector<FolderEntry> entries, std::optional<std::string> fails_after, int& open)
      : entries_(std::move(entries)), fails_after_(std::move(fails_after)), open_(open) {
    ++open_;
  }
  ~FakeListing() override { --open_; }
  std::expected<std::optional<FolderEntry>, std::string> next() override {
    if (next_ < entries_.size()) {
      return entries_[next_++];
    }
    if (fails_after_) {
      return std::unexpected(*fails_after_);
    }
    return std::nullopt;
  }

 private:
  std::vector<FolderEntry> entries_;
  std::size_t next_ = 0;
  std::optional<std::string> fails_after_;
  int& open_;
};

// An installation on disk: folders by their full path under the final root, each with its
// entries in the order the file system lists them.
class FakeTree : public InstallationFiles {
 public:
  FakeTree() { folders[final_root] = {{u".", EntryKind::directory}, {u"..", EntryKind::directory}}; }

  // Adds `relative` (and the folders above it) to the listings, after what is there already.
  void add(std::string_view relative, EntryKind kind = EntryKind::file) {
    std::u16string folder = final_root;
    const std::u16string path = u16(relative);
    std::size_t start = 0;
    for (;;) {
      const std::size_t separator = path.find(u'\\', start);
      const std::u16string name = path.substr(start, separator - start);
      const EntryKind here = separator == std::u16string::npos ? kind : EntryKind::directory;
      auto& entries = folders[folder];
      if (std::none_of(entries.begin(), entries.end(), [&](const FolderEntry& e) { return e.name == name; })) {
        entries.push_back({name, here});
      }
      folder = under(folder, name);
      if (here == EntryKind::directory && !folders.contains(folder)) {
        folders[folder] = {};
      }
      if (separator == std::u16string::npos) {
        return;
      }
      start = separator + 1;
    }
  }
  void lock(std::string_view relative) { locked.insert(under(final_root, u16(relative))); }

  std::expected<std::u16string, FinalPathFailure> final_folder_path(const std::string& directory) override {
    asked_directory = directory;
    if (root_failure) {
      return std::unexpected(*root_failure);
    }
    return final_root;
  }
  std::expected<std::unique_ptr<FolderListing>, std::string> list(const std::u16string& folder) override {
    listed.push_back(folder);
    max_open_listings = std::max(max_open_listings, open_listings + 1);
    if (auto failing = list_errors.find(folder); failing != list_errors.end()) {
      return std::unexpected(failing->second);
    }
    const auto found = folders.find(folder);
    if (found == folders.end()) {
      return std::unexpected("The system cannot find the path specified. (os error 3)");
    }
    std::optional<std::string> fails_after;
    if (auto failing = next_errors.find(folder); failing != next_errors.end()) {
      fails_after = failing->second;
    }
    return std::make_unique<FakeListing>(found->second, fails_after, open_listings);
  }
  std::expected<void, std::string> open_exclusive(const std::u16string& path) override {
    opened.push_back(path);
    if (on_open) {
      on_open();
    }
    if (locked.contains(path)) {
      return std::unexpected(sharing_violation);
    }
    return {};
  }

  std::map<std::u16string, std::vector<FolderEntry>> folders;
  std::set<std::u16string> locked;
  std::optional<FinalPathFailure> root_failure;
  std::map<std::u16string, std::string> list_errors, next_errors;
  std::function<void()> on_open;

  std::string asked_directory;
  std::vector<std::u16string> listed, opened;
  int open_listings = 0;
  int max_open_listings = 0;
};

class Walk : public ::testing::Test {
 protected:
  std::expected<void, std::string> verify(const std::string& directory = R"(C:\App)",
                                          milliseconds timeout = 30s) {
    return UnlockWalk(tree, clock).verify_unlocked(directory, clock.now() + timeout);
  }
  FakeTree tree;
  ManualClock clock;
};

// The walk goes by the folder's final path, so no name rule can hide a folder or a file from it
// (a folder "lib." would be "lib" to an ordinary path; long paths need the verbatim form), and
// its texts name each file under the folder as the installer gave it.
struct HeldFileCase {
  const char* name;
  std::string relative;
  const char* install_dir;
};
void PrintTo(const HeldFileCase& c, std::ostream* os) { *os << c.name; }

class WalkHeldFile : public Walk, public ::testing::WithParamInterface<HeldFileCase> {};

TEST_P(WalkHeldFile, IsOpenedThroughTheFinalPathAndNamedUnderTheGivenFolder) {
  tree.add("Vorlane.exe");
  tree.add("resources\\app.pak");
  tree.add(GetParam().relative);
  tree.lock(GetParam().relative);
  const auto outcome = verify(GetParam().install_dir);
  ASSERT_FALSE(outcome.has_value());
  EXPECT_EQ(outcome.error(), std::string(R"(C:\App\)") + GetParam().relative +
                                 " is still in use or not writable: " + sharing_violation);
  EXPECT_EQ(tree.asked_directory, GetParam().install_dir);
  EXPECT_EQ(tree.opened.back(), under(final_root, u16(GetParam().relative)));
  for (const auto& path : tree.listed) {
    EXPECT_TRUE(path.starts_with(final_root)) << u8(path);
  }
}

std::string long_chain() {
  std::string path;
  for (int i = 0; i < 30; ++i) {
    path += "folder-" + std::to_string(i) + "-with-a-longer-name\\";
  }
  return path + "codec.dll";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WalkHeldFile,
    ::testing::Values(HeldFileCase{"FolderNameEndingInADot", "lib.\\codec.dll", R"(C:\App)"},
                      HeldFileCase{"FileUnderAChainLongerThan260", long_chain(), R"(C:\App)"},
                      HeldFileCase{"LibraryTwoLevelsDown", "a\\b\\Tool.DLL", R"(C:\App)"},
                      HeldFileCase{"GivenWithTrailingSeparator", "a\\b\\Tool.DLL", R"(C:\App\)"}),
    [](const auto& info) { return std::string(info.param.name); });

// Step one: only "not found" when opening the folder means there is nothing to verify.
struct FirstStepCase {
  const char* name;
  FinalPathFailure failure;
  bool passes;
};
void PrintTo(const FirstStepCase& c, std::ostream* os) { *os << c.name; }

class WalkFirstStep : public Walk, public ::testing::WithParamInterface<FirstStepCase> {};

TEST_P(WalkFirstStep, OnlyNotFoundMeansNothingToVerify) {
  tree.add("Tool.dll");
  tree.lock("Tool.dll");
  tree.root_failure = GetParam().failure;
  const auto outcome = verify();
  if (GetParam().passes) {
    EXPECT_TRUE(outcome.has_value());
  } else {
    EXPECT_EQ(outcome, std::unexpected(GetParam().failure.error.text));
  }
  EXPECT_TRUE(tree.listed.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WalkFirstStep,
    ::testing::Values(
        FirstStepCase{"FileNotFound", {false, {2, "not found (os error 2)"}}, true},
        FirstStepCase{"PathNotFound", {false, {3, "no path (os error 3)"}}, true},
        FirstStepCase{"InvalidName", {false, {123, "syntax is incorrect (os error 123)"}}, false},
        FirstStepCase{"AccessDenied", {false, {5, "Access is denied. (os error 5)"}}, false},
        FirstStepCase{"NetworkPathNotFound", {false, {53, "network path (os error 53)"}}, false},
        // Opened, but without a final path (a volume without a drive letter): it is there.
        FirstStepCase{"OpenedWithoutFinalPath", {true, {3, "no path (os error 3)"}}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A folder the walk cannot look at is a reason to stop, whatever the error says.
struct ListingErrorCase {
  const char* name;
  std::function<void(FakeTree&)> arrange;
  const char* error;
};
void PrintTo(const ListingErrorCase& c, std::ostream* os) { *os << c.name; }

class WalkListingError : public Walk, public ::testing::WithParamInterface<ListingErrorCase> {};

TEST_P(WalkListingError, IsAnErrorOfTheWalkNeverAPass) {
  tree.add("a\\b\\Tool.DLL");
  tree.lock("a\\b\\Tool.DLL");
  GetParam().arrange(tree);
  EXPECT_EQ(verify(), std::unexpected(std::string(GetParam().error)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WalkListingError,
    ::testing::Values(
        ListingErrorCase{"InstallationFolderNotListable",
                         [](FakeTree& t) { t.list_errors[final_root] = "The directory name is invalid. (os error 267)"; },
                         "The directory name is invalid. (os error 267)"},
        ListingErrorCase{"ListedFolderGoneSince",
                         [](FakeTree& t) {
                           t.list_errors[final_root + u"\\a\\b"] = "The system cannot find the path specified. (os error 3)";
                         },
                         "The system cannot find the path specified. (os error 3)"},
        ListingErrorCase{"ListedFolderNowFileNotFound",
                         [](FakeTree& t) {
                           t.list_errors[final_root + u"\\a"] = "The system cannot find the file specified. (os error 2)";
                         },
                         "The system cannot find the file specified. (os error 2)"},
        ListingErrorCase{"ReadingTheNextEntryFails",
                         [](FakeTree& t) { t.next_errors[final_root] = "The network name was deleted. (os error 64)"; },
                         "The network name was deleted. (os error 64)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Walk, LinksAreNeitherFollowedNorOpenedAndOnlyExecutablesAreOpened) {
  tree.add("linked", EntryKind::link);
  tree.folders[final_root + u"\\linked"] = {{u"Tool.dll", EntryKind::file}};  // what it leads to
  for (const char* name : {"settings.json", "old.exe.bak", ".exe", "x.node", "A.Exe", "b.DLL"}) {
    tree.add(name);
  }
  tree.lock("linked\\Tool.dll");
  ASSERT_TRUE(verify().has_value());
  EXPECT_EQ(tree.listed, std::vector<std::u16string>{final_root});
  EXPECT_EQ(tree.opened, (std::vector<std::u16string>{final_root + u"\\x.node", final_root + u"\\A.Exe",
                                                      final_root + u"\\b.DLL"}));
}

TEST_F(Walk, EachFolderIsVisitedInListingOrderWithOneListingOpenAtATime) {
  for (const char* path : {"b\\b1.exe", "z.exe", "a\\a1.exe", "a\\c\\c1.exe", "a\\a2.dll", "m.dll"}) {
    tree.add(path);
  }
  ASSERT_TRUE(verify().has_value());
  // A folder's own files in listing order, then its subfolders in listing order.
  EXPECT_EQ(tree.opened, (std::vector<std::u16string>{final_root + u"\\z.exe", final_root + u"\\m.dll",
                                                      final_root + u"\\b\\b1.exe", final_root + u"\\a\\a1.exe",
                                                      final_root + u"\\a\\a2.dll",
                                                      final_root + u"\\a\\c\\c1.exe"}));
  EXPECT_EQ(tree.listed, (std::vector<std::u16string>{final_root, final_root + u"\\b", final_root + u"\\a",
                                                      final_root + u"\\a\\c"}));
  EXPECT_EQ(tree.max_open_listings, 1);
}

// A chain of folders, one inside the other, `depth` levels deep with a locked library at the
// bottom; generated on demand, and noting how deep the stack went while listing.
class ChainTree : public InstallationFiles {
 public:
  explicit ChainTree(int depth) : depth_(depth) {}
  std::expected<std::u16string, FinalPathFailure> final_folder_path(const std::string&) override {
    return final_root;
  }
  std::expected<std::unique_ptr<FolderListing>, std::string> list(const std::u16string& folder) override {
    const auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    lowest_frame = std::min(lowest_frame, frame);
    const std::size_t level = (folder.size() - final_root.size()) / 2;  // each level adds "\d"
    ++listed;
    std::vector<FolderEntry> entries{{u"readme.txt", EntryKind::file}};
    entries.push_back(static_cast<int>(level) < depth_ ? FolderEntry{u"d", EntryKind::directory}
                                                       : FolderEntry{u"Tool.dll", EntryKind::file});
    return std::make_unique<FakeListing>(std::move(entries), std::nullopt, open_listings_);
  }
  std::expected<void, std::string> open_exclusive(const std::u16string&) override {
    return std::unexpected(sharing_violation);
  }
  std::uintptr_t lowest_frame = UINTPTR_MAX;
  int listed = 0;

 private:
  int depth_;
  int open_listings_ = 0;
};

TEST(WalkDepth, TenThousandLevelsAreWalkedWithinABoundedStack) {
  constexpr int depth = 10000;
  ChainTree tree(depth);
  ManualClock clock;
  const auto top = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  const auto outcome = UnlockWalk(tree, clock).verify_unlocked(R"(C:\App)", clock.now() + 30s);
  EXPECT_EQ(tree.listed, depth + 1);
  ASSERT_FALSE(outcome.has_value());
  std::string shown = R"(C:\App)";
  for (int i = 0; i < depth; ++i) {
    shown += "\\d";
  }
  EXPECT_EQ(outcome.error(), shown + "\\Tool.dll is still in use or not writable: " + sharing_violation);
  // A walk that recursed would use at least some hundred bytes per level: megabytes here.
  EXPECT_LT(top - tree.lowest_frame, 64u * 1024u);
}

// The walk reads the clock before each entry and each folder, so one that takes time per
// file ends within the deadline plus one file, naming the folder it had reached.
struct DeadlineCase {
  const char* name;
  std::string folder;  // where the 1000 libraries are, under the installation
  milliseconds started_late;
  std::size_t opened;
  const char* reached;
};
void PrintTo(const DeadlineCase& c, std::ostream* os) { *os << c.name; }

class WalkDeadline : public Walk, public ::testing::WithParamInterface<DeadlineCase> {};

TEST_P(WalkDeadline, StopsWithinTheDeadlinePlusOneFile) {
  for (int i = 0; i < 1000; ++i) {
    tree.add(GetParam().folder + "lib" + std::to_string(i) + ".dll");
  }
  tree.on_open = [this] { clock.advance(7ms); };
  const Clock::time_point deadline = clock.now() + 1000ms;
  clock.advance(GetParam().started_late);
  const Clock::time_point started = clock.now();
  const auto outcome = UnlockWalk(tree, clock).verify_unlocked(R"(C:\App)", deadline);
  EXPECT_EQ(outcome, std::unexpected("Timed out verifying executable files; the walk had reached " +
                                     std::string(GetParam().reached)));
  EXPECT_LE(clock.now(), std::max(started, deadline) + 7ms);
  EXPECT_EQ(tree.opened.size(), GetParam().opened);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WalkDeadline,
    ::testing::Values(DeadlineCase{"InTheInstallationFolder", "", 0ms, 143, R"(C:\App)"},
                      DeadlineCase{"InASubfolder", "bin\\x64\\", 0ms, 143, R"(C:\App\bin\x64)"},
                      DeadlineCase{"StartedAfterIt", "", 1500ms, 0, R"(C:\App)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorlane::haltgate
