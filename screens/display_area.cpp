#include "screens/display_area.h"

#include "engine/sound_engine.h"
#include "screen/screen_font.h"
#include "screens/channel_rows.h"
#include "screens/oscilloscope.h"
#include "screens/pattern_chart.h"

namespace tvp {

void DrawDisplayArea(PlayerState& state) {
  ScreenFont& font = *state.font;
  // The status rows drawn after the area expect the colour they found.
  const uint8_t colour = font.colour();
  const int h = font.glyphHeight();
  SoundEngine* engine = state.engine;
  switch (state.displayMode) {
    case 2:
      DrawChannelRows(state, true);
      break;
    case 3:
      DrawOscilloscope(state, 0, 5 * h + 8);
      break;
    case 4:
      if (engine && engine->boundSoundtrack)
        DrawPatternChart(state, firstEventOfPosition(engine, engine->playPosition), engine->positionCounter,
                         engine->speed);
      break;
    default:
      DrawChannelRows(state, false);
      break;
  }
  font.SetColour(colour);
}

void DisposeDisplayArea(PlayerState& state) {
  PixmapDispose(state.oscilloscope.panel);
  state.oscilloscope.panel = nullptr;
  DisposePatternChart(state.patternChart);
}

}  // namespace tvp
