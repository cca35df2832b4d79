#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "src/input/fakes_for_tests.hpp"
#include "src/input/synthesis.hpp"
#include "src/system/fake_elevation.hpp"

namespace vorlane::input {
namespace {

constexpr std::int32_t int32_min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t int32_max = std::numeric_limits<std::int32_t>::max();

struct CoordinateCase {
  std::optional<double> fraction;
  std::int32_t expected;
};

class AbsoluteCoordinate : public ::testing::TestWithParam<CoordinateCase> {};

TEST_P(AbsoluteCoordinate, ScalesRoundsHalfAwayAndLimitsTo32Bits) {
  EXPECT_EQ(absolute_coordinate(GetParam().fraction), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AbsoluteCoordinate,
    ::testing::Values(CoordinateCase{std::nullopt, 0}, CoordinateCase{0.0, 0},
                      CoordinateCase{0.5, 32768},   // 32767.5 rounds away from zero
                      CoordinateCase{1.0, 65535}, CoordinateCase{-0.1, -6554},
                      CoordinateCase{1.2, 78642},   // outside the display, passed on as is
                      CoordinateCase{-0.5, -32768}, CoordinateCase{1e12, int32_max},
                      CoordinateCase{-1e12, int32_min},
                      CoordinateCase{std::numeric_limits<double>::infinity(), int32_max},
                      CoordinateCase{std::numeric_limits<double>::quiet_NaN(), 0}));

TEST(WheelAmount, RoundsWithoutScalingAndLimits) {
  EXPECT_EQ(wheel_amount(120), 120);
  EXPECT_EQ(wheel_amount(-0.5), -1);
  EXPECT_EQ(wheel_amount(0.4), 0);
  EXPECT_EQ(wheel_amount(2.5), 3);
  EXPECT_EQ(wheel_amount(-1e12), int32_min);
  EXPECT_EQ(wheel_amount(1e12), int32_max);
  EXPECT_EQ(wheel_amount(std::nan("")), 0);
}

TEST(ScrollRecords, VerticalFirstWithSignInvertedThenHorizontal) {
  const std::vector<InputRecord> records = scroll_records(-240.0, 120.0);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], mouse_record(0, 0, static_cast<std::uint32_t>(-120), mouseeventf_wheel));
  EXPECT_EQ(records[1], mouse_record(0, 0, static_cast<std::uint32_t>(-240), mouseeventf_hwheel));

  EXPECT_TRUE(scroll_records(std::nullopt, std::nullopt).empty());
  EXPECT_TRUE(scroll_records(0.0, -0.0).empty());
  // Not zero but rounding to zero: the record is still sent, with no amount.
  EXPECT_EQ(scroll_records(std::nullopt, 0.4),
            (std::vector{mouse_record(0, 0, 0, mouseeventf_wheel)}));
  EXPECT_EQ(scroll_records(std::nullopt, 1e12),
            (std::vector{mouse_record(0, 0, 0x80000000u, mouseeventf_wheel)}));
}

TEST(TextRecords, EveryUtf16UnitIsPressedThenReleasedInOrder) {
  std::vector<InputRecord> records;
  append_text_records("a\nb\xF0\x9F\x98\x80", records);  // a, line feed, b, U+1F600
  const std::vector<InputRecord> expected{
      keyboard_record(0x0061, 0x0004), keyboard_record(0x0061, 0x0006),
      keyboard_record(0x000A, 0x0004), keyboard_record(0x000A, 0x0006),
      keyboard_record(0x0062, 0x0004), keyboard_record(0x0062, 0x0006),
      keyboard_record(0xD83D, 0x0004), keyboard_record(0xD83D, 0x0006),
      keyboard_record(0xDE00, 0x0004), keyboard_record(0xDE00, 0x0006)};
  EXPECT_EQ(records, expected);
}

class SendInputs : public ::testing::Test {
 protected:
  static std::vector<InputRecord> numbered(std::size_t count) {
    std::vector<InputRecord> records;
    for (std::size_t i = 0; i < count; ++i) {
      records.push_back(keyboard_record(static_cast<std::uint16_t>(i), keyeventf_unicode));
    }
    return records;
  }

  RecordingSink sink;
  FakeProbe probe;
  system::FakeElevation elevation;
};

TEST_F(SendInputs, NothingToSendCallsNothing) {
  EXPECT_TRUE(send_inputs(sink, probe, elevation, {}).has_value());
  EXPECT_TRUE(sink.calls.empty());
}

TEST_F(SendInputs, SendsInOrderInChunksOfAtMost64) {
  const std::vector<InputRecord> records = numbered(130);
  ASSERT_TRUE(send_inputs(sink, probe, elevation, records).has_value());
  ASSERT_EQ(sink.calls.size(), 3u);
  EXPECT_EQ(sink.calls[0].size(), 64u);
  EXPECT_EQ(sink.calls[1].size(), 64u);
  EXPECT_EQ(sink.calls[2].size(), 2u);
  EXPECT_EQ(sink.all_records(), records);
}

TEST_F(SendInputs, StopsAtAShortCountAndExplainsThatCall) {
  sink.short_calls[1] = {3, 87};
  const auto result = send_inputs(sink, probe, elevation, numbered(130));
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(sink.calls.size(), 2u) << "the chunk after the refused one must not be sent";
  EXPECT_EQ(result.error(),
            "系统拒绝了输入注入（3/64）：输入参数无效（Win32 错误 87），请反馈客户端与主机版本");
}

}  // namespace
}  // namespace vorlane::input
