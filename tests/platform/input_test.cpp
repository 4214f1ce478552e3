// The pad on scripted devices: directions and their dead zone, press edges, the device list and
// which controller drives the pad as controllers come and go.
#include <gtest/gtest.h>

#include "platform/memory_input.h"

namespace tvp {
namespace {

constexpr uint32_t kA = 1, kB = 2;

TEST(InputCreate, ReportsASourceThatCannotStartOrList) {
  MemoryInputSource source;
  InputDevices input;
  source.refuseStart = true;
  EXPECT_EQ(input.Create(&source, 0), kStatusPlatformFailed);
  source.refuseStart = false;
  source.refuseList = true;
  EXPECT_EQ(input.Create(&source, 0), kStatusNoControllerList);
  EXPECT_EQ(input.Poll(), kStatusOk);  // and runs on without a pad
}

TEST(InputPad, WithoutControllersNothingIsHeldOrPressed) {
  MemoryInputSource source;
  InputDevices input;
  ASSERT_EQ(input.Create(&source, 0), kStatusOk);
  EXPECT_EQ(input.SelectFirstController(), kStatusNotFound);
  EXPECT_EQ(input.Poll(), kStatusOk);
  for (int32_t d : {kDirectionLeft, kDirectionRight, kDirectionUp, kDirectionDown, kDirectionHorizontal,
                    kDirectionVertical}) {
    EXPECT_FALSE(input.IsDirectionHeld(d));
    EXPECT_EQ(input.AxisValue(d), 0);
  }
  EXPECT_FALSE(input.ButtonPressed(0));
}

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
  source.reading(id)->buttons = 0x1FF;  // only eight buttons exist
  input.Poll();
  EXPECT_EQ(input.padButtons, 0xFFu);
  EXPECT_FALSE(input.ButtonPressed(32));
  EXPECT_FALSE(input.ButtonPressed(-1));
}

TEST(InputDevicesList, ANinthControllerIsNotListed) {
  MemoryInputSource source;
  for (int i = 0; i < 9; ++i) source.Attach();
  InputDevices input;
  ASSERT_EQ(input.Create(&source, kInputKeyboard), kStatusOk);
  EXPECT_EQ(input.deviceCount, 8);  // the keyboard and seven controllers
  EXPECT_EQ(input.devices[0], kKeyboardDevice);
  EXPECT_EQ(input.SelectDevice(8), kStatusBadParam);
  EXPECT_EQ(input.SelectDevice(7), kStatusOk);
}

TEST(InputDevicesList, ABadSelectionLeavesOnlyTheKeyboardDrivingThePad) {
  MemoryInputSource source;
  const int32_t id = source.Attach();
  source.reading(id)->x = -32768;
  InputDevices input;
  ASSERT_EQ(input.Create(&source, kInputKeyboard), kStatusOk);
  ASSERT_EQ(input.SelectDevice(1), kStatusOk);
  EXPECT_EQ(input.SelectDevice(2), kStatusBadParam);
  EXPECT_EQ(input.SelectDevice(-1), kStatusBadParam);
  EXPECT_EQ(input.currentDevice, kNoDevice);
  source.keys[0xCB] = 0x80;  // Left
  source.keys[0xCD] = 0x80;  // Right: the higher code wins
  source.keys[0x2C] = 0x80;  // Z: button 0
  ASSERT_EQ(input.Poll(), kStatusOk);
  EXPECT_EQ(input.keyX, 1);
  EXPECT_EQ(input.stickX, 0);
  EXPECT_EQ(input.padX, 1);
  EXPECT_TRUE(input.ButtonPressed(0));
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

  const int32_t second = source.Attach();  // one is current already: it stays
  input.Poll();
  EXPECT_EQ(input.currentDevice, first);
  EXPECT_EQ(input.deviceCount, 2);

  source.Detach(first);  // held down when pulled out
  input.Poll();
  EXPECT_EQ(input.AxisValue(kDirectionVertical), 0);
  EXPECT_EQ(input.deviceCount, 1);
  EXPECT_EQ(input.currentDevice, kNoDevice);

  source.reading(second)->buttons = kA;
  input.Poll();  // no new controller: none is current, the pad stays neutral
  EXPECT_FALSE(input.ButtonPressed(0));
  const int32_t third = source.Attach();
  source.reading(third)->buttons = kB;
  input.Poll();
  EXPECT_EQ(input.currentDevice, second);  // the first listed becomes current
  EXPECT_TRUE(input.ButtonPressed(0));
}

TEST(InputHotplug, AControllerThatFailsToReadIsDroppedWithANeutralPad) {
  // The list still names it (the source has not seen it go yet) but reading it fails.
  struct FailingSource : MemoryInputSource {
    int32_t ReadController(int32_t, ControllerReading*) override { return kStatusPlatformFailed; }
  } source;
  source.Attach();
  InputDevices input;
  ASSERT_EQ(input.Create(&source, 0), kStatusOk);
  ASSERT_EQ(input.SelectFirstController(), kStatusOk);
  input.padX = 1;  // as left by an earlier poll
  EXPECT_EQ(input.Poll(), kStatusPlatformFailed);
  EXPECT_EQ(input.padX, 0);
  EXPECT_EQ(input.currentDevice, kNoDevice);
}

TEST(InputMouse, MotionIsSummedOverPolls) {
  MemoryInputSource source;
  InputDevices input;
  ASSERT_EQ(input.Create(&source, kInputMouse), kStatusOk);
  source.mouseDX = 3;
  source.mouseButtons = 2;
  input.Poll();
  source.mouseDX = -1;
  source.mouseDY = 5;
  input.Poll();
  EXPECT_EQ(input.mouseDX, 2);
  EXPECT_EQ(input.mouseDY, 5);
  EXPECT_EQ(input.mouseButtons, 2u);
}

}  // namespace
}  // namespace tvp
