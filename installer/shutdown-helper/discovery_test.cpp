#include <algorithm>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "installer/shutdown-helper/discovery.hpp"
#include "src/common/text.hpp"

namespace vorlane::haltgate {
namespace {

constexpr std::uint32_t self_pid = 4242;
const std::string target_key = R"(\\?\c:\program files\vorlane\vorlane.exe)";

struct FakeImage {
  std::string path;
  std::string key;  // what opening the image would give
};

class FakeCandidate : public ProcessCandidate {
 public:
  FakeCandidate(std::uint32_t pid, std::optional<std::u16string> image, int& open)
      : pid_(pid), image_(std::move(image)), open_(open) {
    ++open_;
  }
  ~FakeCandidate() override { --open_; }
  std::uint32_t pid() const override { return pid_; }
  std::expected<bool, std::string> wait(std::chrono::milliseconds) override { return false; }
  std::optional<std::u16string> image_path() override { return image_; }

 private:
  std::uint32_t pid_;
  std::optional<std::u16string> image_;
  int& open_;
};

// A process table: pid -> image; images whose key is absent cannot be opened.
class FakeTable : public ProcessTable {
 public:
  std::expected<std::vector<std::uint32_t>, std::string> process_ids() override {
    if (ids_error) {
      return std::unexpected(*ids_error);
    }
    std::vector<std::uint32_t> ids{0, self_pid};
    for (const auto& [pid, image] : images) {
      ids.push_back(pid);
    }
    return ids;
  }
  std::uint32_t own_pid() override { return self_pid; }
  std::unique_ptr<ProcessCandidate> open_process(std::uint32_t pid) override {
    const auto found = images.find(pid);
    if (found == images.end() || unopenable.contains(pid)) {
      return nullptr;
    }
    std::optional<std::u16string> image;
    if (!unqueryable.contains(pid)) {
      image = utf8_to_utf16(found->second.path);
    }
    return std::make_unique<FakeCandidate>(pid, std::move(image), open_handles);
  }
  std::expected<std::string, std::string> image_key(std::u16string_view image_path) override {
    const std::string path = utf16_to_utf8(image_path);
    keyed.push_back(path);
    for (const auto& [pid, image] : images) {
      if (image.path == path) {
        if (image.key.empty()) {
          return std::unexpected("The network path was not found. (os error 53)");
        }
        return image.key;
      }
    }
    return std::unexpected("The system cannot find the file specified. (os error 2)");
  }

  std::map<std::uint32_t, FakeImage> images;
  std::set<std::uint32_t> unopenable, unqueryable;
  std::optional<std::string> ids_error;
  std::vector<std::string> keyed;  // images opened for their key, in order
  int open_handles = 0;
};

std::vector<std::uint32_t> pids(const ProcessList& list) {
  std::vector<std::uint32_t> out;
  for (const auto& process : list) {
    out.push_back(process->pid());
  }
  return out;
}

TEST(Discovery, OfAThousandImagesOnlyVorlaneExeAndShortNamesAreOpened) {
  FakeTable table;
  // Images that can be the installation's, by their last component; a key for each.
  const std::map<std::uint32_t, FakeImage> candidates{
      {100, {R"(C:\Program Files\Vorlane\Vorlane.exe)", target_key}},
      {200, {R"(C:\PROGRA~1\Vorlane\VORLAN~1.EXE)", target_key}},
      {300, {R"(D:\Other\vORLANE.eXe)", R"(\\?\d:\other\vorlane.exe)"}},
      {400, {R"(C:\Program Files\Vorlane\vorlane.exe)", target_key}},
      {500, {R"(\\slow\share\APP~2.EXE)", ""}},  // its key cannot be had: skipped
      {600, {"C:/Program Files/Vorlane/Vorlane.exe", target_key}},
  };
  table.images = candidates;
  // Everything else: names that are not Vorlane.exe, including near misses and a short folder.
  const char* const near_misses[] = {R"(C:\Program Files\Vorlane\Vorlane.exe.bak)",
                                     R"(C:\Program Files\Vorlane\xVorlane.exe)",
                                     R"(C:\Program Files\Vorlane\Vorlane)",
                                     R"(C:\PROGRA~1\Vorlane\Helper.exe)",
                                     R"(C:\Program Files\Vorlane\Vorlane.exe\)",
                                     "C:\\Program Files\\Vorlane\\Vorlan\xC3\xA9.exe"};
  std::uint32_t pid = 1000;
  for (const char* path : near_misses) {
    table.images[pid++] = {path, target_key};
  }
  while (table.images.size() < 1000) {
    table.images[pid] = {R"(C:\Windows\System32\svc)" + std::to_string(pid) + ".exe", target_key};
    ++pid;
  }

  const auto found = find_installation_processes(table, target_key);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(pids(*found), (std::vector<std::uint32_t>{100, 200, 400, 600}));
  std::vector<std::string> expected_keyed;
  for (const auto& [candidate_pid, image] : candidates) {
    expected_keyed.push_back(image.path);
  }
  EXPECT_EQ(table.keyed, expected_keyed);
  EXPECT_EQ(table.open_handles, 4);  // only the found ones stay open
}

TEST(Discovery, ProcessesThatCannotBeOpenedOrQueriedAreSkippedAndAFailedEnumerationIsAnError) {
  FakeTable table;
  table.images = {{1, {R"(C:\App\Vorlane.exe)", target_key}},
                  {2, {R"(C:\App\Vorlane.exe)", target_key}},
                  {3, {R"(C:\App\Vorlane.exe)", target_key}},
                  {self_pid, {R"(C:\App\Vorlane.exe)", target_key}}};
  table.unopenable = {1};
  table.unqueryable = {2};
  const auto found = find_installation_processes(table, target_key);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(pids(*found), std::vector<std::uint32_t>{3});  // never its own process
  EXPECT_EQ(table.keyed.size(), 1u);

  table.ids_error = "Access is denied. (os error 5)";
  EXPECT_EQ(find_installation_processes(table, target_key).error(), "Access is denied. (os error 5)");
}

}  // namespace
}  // namespace vorlane::haltgate
