// The pad on a scripted device: directions and their dead zone.
#include <gtest/gtest.h>

#include "platform/memory_input.h"

namespace tvp {
namespace {

constexpr uint32_t kA = 1, kB = 2;

// One controller, current.
class OnePad : public ::testing::Test {
 protected:
  void SetUp() override {
    id = source.Attach();
    ASSERT_EQ(input.Create(&source, 0), kStatusOk);
    ASSERT_EQ(input.SelectFirstController(), kStatusOk);
  }
  MemoryInputSource source;
  InputDevices input;
  int32_t id = 0;
};

TEST_F(OnePad, TheStickCountsOutsideHalfItsRangeAndTheDpadWins) {
  ControllerReading* pad = source.reading(id);
  struct Case {
    int32_t x, y, padX, padY;
  };
  for (const Case& c : {Case{16000, -16000, 0, 0}, Case{16384, -16384, 1, -1}, Case{-32768, 32767, -1, 1}}) {
    pad->x = c.x;
    pad->y = c.y;
    ASSERT_EQ(input.Poll(), kStatusOk);
    EXPECT_EQ(input.padX, c.padX);
    EXPECT_EQ(input.padY, c.padY);
  }
  EXPECT_TRUE(input.IsDirectionHeld(kDirectionLeft));
  EXPECT_TRUE(input.IsDirectionHeld(kDirectionDown));
  EXPECT_FALSE(input.IsDirectionHeld(kDirectionUp));
  EXPECT_FALSE(input.IsDirectionHeld(3));
  EXPECT_EQ(input.AxisValue(kDirectionLeft), 1);
  EXPECT_EQ(input.AxisValue(kDirectionUp), -1);
  EXPECT_EQ(input.AxisValue(kDirectionVertical), 1);
  EXPECT_EQ(input.AxisValue(64), 0);
}

}  // namespace
}  // namespace tvp
