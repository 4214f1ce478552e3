#pragma once
// A player state with a frame bitmap, the program's font, the oscilloscope's sample buffer and an
// engine of 256 voices on the offline road, for drawing screens in tests; and checks that a place
// on the frame shows a text or a glyph exactly as the font draws it (the actual frame is written
// as a PNG on a mismatch).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/player_state.h"
#include "engine/engine_api.h"
#include "engine/sound_engine.h"
#include "screen/pixel_image.h"
#include "screen/screen_font.h"
#include "screens/display_area.h"
#include "soundtrack/status.h"
#include "tests/support/picture_check.h"

namespace tvp::testing {

class ScreenFixture : public ::testing::Test {
 protected:
  ScreenFixture() {
    Pixmap* picture = nullptr;
    EXPECT_EQ(LoadPixelImage(&picture, "PXL_MAIN_FONT"), kStatusOk);
    EXPECT_EQ(font.Build(picture, 256, 6, 8, ScreenFont::kGrid | ScreenFont::kInverted), kStatusOk);
    PixmapDispose(picture);
    EXPECT_EQ(PixmapCreate(&state.frameBitmap, FRAME_WIDTH, FRAME_HEIGHT), kStatusOk);
    EXPECT_EQ(PixmapCreate(&expected, FRAME_WIDTH, FRAME_HEIGHT), kStatusOk);
    state.font = &font;
    state.sampleBuffer = scopeCopy.data();  // as the start-up makes it: the settings' frames
    EXPECT_EQ(send(ENG_OPEN, 0, kOfflineRoad, kMaxVoices, 4096), kStatusOk);
    send(ENG_RESET);
    send(ENG_SET_MASTER_VOLUME, 32768);
    if (state.engine) state.engine->sampleRate = 44100u << 16;  // as a prepare would set it
  }
  ~ScreenFixture() override {
    DisposeDisplayArea(state);
    send(ENG_CLOSE);
    PixmapDispose(state.frameBitmap);
    PixmapDispose(expected);
  }

  EngineResult send(uint32_t code, intptr_t p0 = 0, intptr_t p1 = 0, intptr_t p2 = 0, intptr_t p3 = 0) {
    ParamBlock params{{p0, p1, p2, p3}};
    return engineCommand(state.engineHandle(), code, &params);
  }
  SoundEngine* engine() { return state.engine; }

  // The frame shows `text` at (x, y) in `colour` over `background`, exactly as the font draws it.
  ::testing::AssertionResult ShowsText(int x, int y, const std::string& text, uint8_t colour = 255,
                                       uint8_t background = 0) {
    PixmapFillPixels(expected, background);
    font.DrawTextInColour(text.c_str(), expected, static_cast<int16_t>(x), static_cast<int16_t>(y), colour);
    return SameRegion(x, y, 6 * static_cast<int>(text.size()), 8, "\"" + text + "\"");
  }
  ::testing::AssertionResult ShowsGlyph(int x, int y, uint8_t code, uint8_t colour, uint8_t background = 0) {
    PixmapFillPixels(expected, background);
    font.DrawGlyphInColour(code, expected, static_cast<int16_t>(x), static_cast<int16_t>(y), colour);
    return SameRegion(x, y, 6, 8, "glyph " + std::to_string(code) + " in " + std::to_string(colour));
  }
  // The frame's region equals the expected picture's.
  ::testing::AssertionResult SameRegion(int x, int y, int w, int h, const std::string& what) {
    for (int py = y; py < y + h && py < FRAME_HEIGHT; ++py)
      for (int px = x; px < x + w && px < FRAME_WIDTH; ++px)
        if (PixelAt(state.frameBitmap, px, py) != PixelAt(expected, px, py))
          return ::testing::AssertionFailure()
                 << what << " differs at (" << px << "," << py << "): "
                 << int(PixelAt(state.frameBitmap, px, py)) << " instead of " << int(PixelAt(expected, px, py))
                 << "; actual frame in " << KeepActualPicture(state.frameBitmap);
    return ::testing::AssertionSuccess();
  }

  PlayerState state;
  std::vector<int16_t> scopeCopy = std::vector<int16_t>(2 * static_cast<size_t>(state.settings.framesPerBuffer));
  ScreenFont font;
  Pixmap* expected = nullptr;
};

}  // namespace tvp::testing
