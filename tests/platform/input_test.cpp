// The pad on a scripted device: directions and their dead zone, presses, the keyboard's part, the
// list of controllers and controllers plugged in and pulled out while the player runs.
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

TEST_F(OnePad, AHeldButtonIsPressedOnlyAtTheFirstPoll) {
  source.reading(id)->buttons = kA;
  input.Poll();
  EXPECT_TRUE(input.ButtonPressed(0));
  input.Poll();
  EXPECT_FALSE(input.ButtonPressed(0));
  source.reading(id)->buttons = kA | kB;
  input.Poll();
  EXPECT_FALSE(input.ButtonPressed(0));
  EXPECT_TRUE(input.ButtonPressed(1));
}

TEST(InputDevicesList, ANinthControllerIsNotListedAndKeysDriveThePadWithoutOne) {
  MemoryInputSource source;
  for (int i = 0; i < 9; ++i) source.Attach();
  InputDevices input;
  ASSERT_EQ(input.Create(&source, kInputKeyboard), kStatusOk);
  EXPECT_EQ(input.deviceCount, 8);  // the keyboard and seven controllers
  EXPECT_EQ(input.SelectDevice(8), kStatusBadParam);
  EXPECT_EQ(input.currentDevice, kNoDevice);
  source.keys[0xD0] = 0x80;  // Down
  source.keys[0xCB] = 0x80;  // Left
  source.keys[0xCD] = 0x80;  // Right: the higher code wins
  ASSERT_EQ(input.Poll(), kStatusOk);
  EXPECT_EQ(input.padX, 1);
  EXPECT_EQ(input.padY, 1);
}

TEST(InputHotplug, ALaterControllerBecomesCurrentAndAnUnpluggedOneLeavesThePadNeutral) {
  MemoryInputSource source;
  InputDevices input;
  ASSERT_EQ(input.Create(&source, 0), kStatusOk);
  EXPECT_EQ(input.SelectFirstController(), kStatusNotFound);
  input.Poll();
  const int32_t first = source.Attach();  // plugged in while the player runs
  source.reading(first)->y = 32767;
  ASSERT_EQ(input.Poll(), kStatusOk);
  EXPECT_EQ(input.currentDevice, first);
  EXPECT_EQ(input.AxisValue(kDirectionVertical), 1);
  source.Detach(first);  // held down when pulled out
  input.Poll();
  EXPECT_EQ(input.AxisValue(kDirectionVertical), 0);
  EXPECT_EQ(input.currentDevice, kNoDevice);
}

}  // namespace
}  // namespace tvp
