#include <algorithm>
#include <numeric>

#include <gtest/gtest.h>

#include "installer/shutdown-helper/process_ids.hpp"

namespace vorlane::haltgate {
namespace {

// A system with `running` processes that fills as much of the room as fits.
struct FakeEnumeration {
  std::size_t running;
  std::vector<std::size_t> rooms;  // room sizes asked with, in ids
  std::expected<std::size_t, std::string> operator()(std::span<std::uint32_t> room) {
    rooms.push_back(room.size());
    const std::size_t count = std::min(running, room.size());
    std::iota(room.begin(), room.begin() + static_cast<std::ptrdiff_t>(count), 1u);
    return count * sizeof(std::uint32_t);
  }
};

struct RoomCase {
  std::size_t running;
  std::vector<std::size_t> rooms;
};
void PrintTo(const RoomCase& c, std::ostream* os) { *os << c.running << " processes"; }

class CollectProcessIds : public ::testing::TestWithParam<RoomCase> {};

TEST_P(CollectProcessIds, DoublesTheRoomUntilItIsNotFilled) {
  FakeEnumeration system{GetParam().running, {}};
  const auto ids = collect_process_ids(std::ref(system));
  ASSERT_TRUE(ids.has_value());
  EXPECT_EQ(ids->size(), GetParam().running);
  EXPECT_EQ(ids->back(), GetParam().running);
  EXPECT_EQ(system.rooms, GetParam().rooms);
}

INSTANTIATE_TEST_SUITE_P(Cases, CollectProcessIds,
                         ::testing::Values(RoomCase{10, {1024}},
                                           // A full room may hide more ids: ask again.
                                           RoomCase{1024, {1024, 2048}},
                                           RoomCase{2500, {1024, 2048, 4096}}));

TEST(CollectProcessIds, ErrorIsPassedOn) {
  const auto ids = collect_process_ids([](std::span<std::uint32_t>) -> std::expected<std::size_t, std::string> {
    return std::unexpected("Access denied. (os error 5)");
  });
  ASSERT_FALSE(ids.has_value());
  EXPECT_EQ(ids.error(), "Access denied. (os error 5)");
}

}  // namespace
}  // namespace vorlane::haltgate
