// Note actions: notes handed off to background voices and what becomes of them, the duplicate
// check, past-note actions; what a struck note takes from its instrument (volume factors, random
// variation, default panning, pitch-pan separation, the fade rule) and sample sustain loops.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

using namespace EventCode;

// A looping sample played by instrument 0 on every note; channel 0 strikes a note at row 0, 1, ...
// as `notes` says. Four voices: channel 0 and three background voices.
class NoteActionTest : public ::testing::Test {
 protected:
  void play(const std::vector<int32_t>& notes, std::vector<Ev> extra = {}) {
    e.sendPlayerSettings();
    const int32_t slot = song.addSample(std::vector<int16_t>(400, 2000), 8363, 0, 400);
    ResizeInstrumentSlots(song.get(), 1);
    instrument = song.get()->instruments[0] = NewInstrument();
    for (NoteMapEntry& entry : instrument->noteMap) entry = {slot, song.get()->samples[slot], 0};
    instrument->noteAction = action;
    instrument->fadeout = 0x4000;
    std::vector<Ev> events = extra;
    for (size_t row = 0; row < notes.size(); ++row) {
      const int32_t t = static_cast<int32_t>(row) * 256;
      for (Ev ev : {Ev{t, 0, HandOffVoice, (1 << 8) | notes[row]}, Ev{t, 0, SelectInstrument, 0},
                    Ev{t, 0, SetPitch, notes[row] << 8}, Ev{t, 0, SelectSampleByNote, 0}, Ev{t, 0, StartSample, 0},
                    Ev{t, 0, SetVoiceFlags, 3}})
        events.push_back(ev);
    }
    buildSong(song, {{events, 64}}, {0, 1});
    e.play(song.inUse(), 44100);
  }
  // Renders up to the first tick of `row` (speed 6, 882 frames a tick at 125 BPM).
  void renderToRow(int32_t row) {
    while (engine()->positionCounter < row * 256) e.renderBuffer();
  }
  void fadesAway(int32_t noteAction) {
    action = noteAction;
    play({60, 64});
    renderToRow(1);
    e.render(2);
    ASSERT_EQ(sounding(), 1);
    const uint16_t held = noteAction == kNoteActionFade ? kVoiceKeyHeld : 0;
    EXPECT_EQ(voice(3).active & (kVoiceFading | kVoiceKeyHeld), kVoiceFading | held);
    renderToRow(2);  // 0x4000 a tick: four ticks to silence
    EXPECT_EQ(sounding(), 0);
    EXPECT_EQ(voice(0).active & kVoiceFading, 0);
  }
  SoundEngine* engine() { return e.engine; }
  const Voice& voice(int32_t i) { return e.engine->voices[i]; }
  int32_t sounding() {
    int32_t n = 0;
    for (int32_t i = 1; i < 4; ++i) n += (voice(i).active & kVoiceSounding) != 0;
    return n;
  }

  OfflineEngine e{4, 64};
  SongBuilder song;
  Instrument* instrument = nullptr;
  int32_t action = kNoteActionContinue;
};

TEST_F(NoteActionTest, AContinuedNotePlaysOnInABackgroundVoiceAndTheChannelTakesTheNewOne) {
  play({60, 64, 67});
  renderToRow(1);
  EXPECT_EQ(engine()->channelVoices, 1);
  EXPECT_EQ(std::tuple(voice(3).active & kVoiceSounding, voice(3).ownerChannel, voice(3).note),
            std::tuple(kVoiceSounding, 0, 60));
  EXPECT_EQ(std::tuple(voice(0).note, voice(0).ownerChannel), std::tuple(64, -1));
  renderToRow(2);
  EXPECT_EQ(std::tuple(sounding(), voice(2).note, voice(3).note), std::tuple(2, 64, 60));
}

// A fade keeps the key and ends in silence, which gives the voice back; a release without a
// volume envelope fades too. The channel's new note does not fade.
TEST_F(NoteActionTest, AFadeEndsTheHandedOffNoteAndFreesItsVoice) { fadesAway(kNoteActionFade); }
TEST_F(NoteActionTest, AReleaseWithoutAVolumeEnvelopeFadesTheHandedOffNote) { fadesAway(kNoteActionOff); }

// Row 2's 60 ends row 0's 60 in the background and hands row 1's 64 off beside it; a duplicate
// of the channel's own note takes the duplicate action instead of the note action.
TEST_F(NoteActionTest, TheDuplicateCheckEndsTheSameNoteOfTheInstrument) {
  play({60, 64, 60, 60});
  instrument->duplicateCheck = kDuplicateNote;
  instrument->duplicateAction = kNoteActionCut;
  renderToRow(3);
  ASSERT_EQ(sounding(), 1);
  EXPECT_EQ(std::tuple(voice(3).note, voice(0).note), std::tuple(64, 60));
  renderToRow(4);
  EXPECT_EQ(sounding(), 1);
}

// S7x-like events: a past-note cut reaches only the channel's own handed-off notes, and a
// note's own action lasts until the next note, which takes its instrument's again.
TEST_F(NoteActionTest, PastNoteActionsAndANotesOwnAction) {
  action = kNoteActionCut;
  play({60, 64, 67, 69}, {{3, 0, SetNoteAction, kNoteActionContinue}, {256 + 3, 0, SetNoteAction, kNoteActionContinue},
                          {3 * 256 + 3, 0, PastNoteAction, kNoteActionCut}});
  renderToRow(2);
  ASSERT_EQ(sounding(), 2);
  e.engine->voices[3].ownerChannel = 5;  // as if channel 5 had handed row 0's note off
  renderToRow(4);
  EXPECT_EQ(sounding(), 1);  // row 2's note took the instrument's cut; the cut spared channel 5's
  EXPECT_EQ(std::tuple(voice(3).ownerChannel, voice(3).note), std::tuple(5, 60));
}

TEST_F(NoteActionTest, WithEveryBackgroundVoiceBusyTheQuietestIsTaken) {
  play({60, 62, 64, 65, 67});
  renderToRow(3);
  ASSERT_EQ(sounding(), 3);
  e.engine->voices[2].channelVolume = 0x100;  // voice 2 (note 62) is the quietest
  renderToRow(4);
  EXPECT_EQ(std::tuple(voice(3).note, voice(2).note, voice(1).note), std::tuple(60, 65, 64));
}

// One voice driven by handler calls: instrument 0 plays a 100-frame sample (sample 1 has a loop
// of frames 60..100) on every note.
class StruckVoice : public ::testing::Test {
 protected:
  StruckVoice() {
    e.sendPlayerSettings();
    plain = song.addSample(std::vector<int16_t>(100, 1000), 8363);
    looped = song.addSample(std::vector<int16_t>(100, 1000), 8363, 60, 100);
    ResizeInstrumentSlots(song.get(), 1);
    instrument = song.get()->instruments[0] = NewInstrument();
    for (NoteMapEntry& entry : instrument->noteMap) entry = {plain, song.get()->samples[plain], 0};
    emptySong(song);
    e.play(song.inUse(), 44100);
    engine->outputGain = 0x10000;
    resetVoice(engine, voice);
  }
  void run(int32_t code, int32_t param) { runEvent(engine, voice, code, param); }
  void strike(int32_t note) {
    run(SelectInstrument, 0);
    run(SetPitch, note << 8);
    run(SelectSampleByNote, 0);
    run(SetVoiceFlags, 3);
    run(ResetPanning, 0);
  }

  OfflineEngine e;
  SongBuilder song;
  int32_t plain = 0, looped = 0;
  Instrument* instrument = nullptr;
  SoundEngine* engine = e.engine;
  Voice* voice = &e.engine->voices[0];
};

// The volume factors a voice tick multiplies in, and the random variation drawn at a strike.
TEST_F(StruckVoice, InstrumentVolumeChannelGainAndVariationMultiplyAndOnlyVaryingInstrumentsDrawRandomValues) {
  EXPECT_EQ(std::tuple(instrument->volume, instrument->panning), std::tuple(0x10000, kNoDefaultPanning));
  instrument->volume = 0x8000;
  const int32_t seed = engine->randomSeed;
  strike(60);
  EXPECT_EQ(engine->randomSeed, seed);
  run(SetChannelGain, 0x8000);
  voiceTick(engine, voice);
  EXPECT_EQ(voice->volume, 0x4000);
  run(AddChannelGain, 0x20000);
  EXPECT_EQ(voice->channelGain, 0x10000);

  instrument->randomVolume = 0x4000;
  instrument->randomPanning = 1024;
  for (int i = 0; i < 50; ++i) {
    run(SetVoiceFlags, 3);
    ASSERT_LE(std::abs(voice->variationVolume - 0x10000), 0x4000);
    ASSERT_LE(std::abs(voice->variationPanning), 1024);
  }
  EXPECT_NE(engine->randomSeed, seed);
}

// A sample's default panning wins over the instrument's; either holds for its note only, and
// pitch-pan separation moves each note by its distance from the centre note.
TEST_F(StruckVoice, DefaultPanningsHoldForTheirNoteAndPitchPanSeparationSpreadsNotes) {
  Sample* sample = song.get()->samples[plain];
  sample->panning = kNoDefaultPanning;
  run(SetPanning, -3000);
  strike(60);
  EXPECT_EQ(voice->channelPanning, -3000);  // neither has one: the channel's stays
  instrument->panning = 1000;
  strike(60);
  EXPECT_EQ(voice->channelPanning, 1000);
  sample->panning = 2000;
  voice->sampleSlot = -1;  // load the sample again, with its panning
  strike(60);
  EXPECT_EQ(voice->channelPanning, 2000);
  sample->panning = kNoDefaultPanning;
  instrument->panning = kNoDefaultPanning;
  voice->sampleSlot = -1;
  strike(60);
  EXPECT_EQ(voice->channelPanning, -3000);  // back to the channel's own
  instrument->pitchPanCentre = 60;
  instrument->pitchPanSeparation = 256;
  strike(64);
  voiceTick(engine, voice);
  EXPECT_EQ(voice->panning, -3000 + 1024);
  strike(20);
  EXPECT_EQ(voice->variationPanning, -8192);  // limited; the final panning is kept on the scale
  voiceTick(engine, voice);
  EXPECT_EQ(voice->panning, -4096);
}

// A note-map entry can play another note than the key that chose it.
TEST_F(StruckVoice, ANoteMapEntryShiftsThePitchOfItsNoteOnly) {
  instrument->noteMap[60].pitchShift = -12 * 256;
  instrument->noteMap[100].pitchShift = 0x7FFF0000;  // limited to the highest pitch
  strike(60);
  EXPECT_EQ(std::tuple(voice->channelPitch, voice->pitchSlideTarget), std::tuple(48 * 256, 48 * 256));
  strike(61);
  EXPECT_EQ(voice->channelPitch, 61 * 256);
  strike(100);
  EXPECT_EQ(voice->channelPitch, 0x7F00);
}

// The filter runs below the top cutoff, with resonance or an envelope; its coefficients pass DC
// unchanged, are made again only when the cutoff or resonance change, and an instrument's own
// setting comes with each of its notes.
TEST_F(StruckVoice, TheFilterRunsWhenItShapesTheSoundAndItsCoefficientsFollowTheCutoff) {
  strike(60);
  voiceTick(engine, voice);
  EXPECT_EQ(voice->filterOn, 0);
  run(SetFilterCutoff, 200);  // limited to the top: still off
  voiceTick(engine, voice);
  EXPECT_EQ(std::tuple(voice->filterCutoff, voice->filterOn), std::tuple(127, 0));
  run(SetFilterResonance, 90);
  voiceTick(engine, voice);
  ASSERT_EQ(voice->filterOn, 1);
  const int32_t bright = voice->filterA0;
  run(SetFilterCutoff, 20);
  voiceTick(engine, voice);
  EXPECT_LT(voice->filterA0, bright / 10) << "a low cutoff lets little of each new frame through";
  EXPECT_NEAR(int64_t{voice->filterA0} + voice->filterB1 + voice->filterB2, 1 << 24, 4) << "DC passes";

  std::vector<int32_t> factors = {0x10000, 0x8000};  // the cutoff, then half of it
  Envelope envelope{kNoEnvelopePoint, kNoEnvelopePoint, 0, kNoEnvelopePoint, 0, 2, factors.data()};
  instrument->filterEnvelope = &envelope;
  instrument->filterCutoff = 80;
  instrument->filterResonance = 0;
  run(SelectInstrument, -1);
  strike(60);
  EXPECT_EQ(std::tuple(voice->filterCutoff, voice->filterResonance), std::tuple(80, 0));
  voiceTick(engine, voice);
  EXPECT_EQ(voice->filterMadeFor, 80 << 8);
  voiceTick(engine, voice);
  EXPECT_EQ(voice->filterMadeFor, 40 << 8);
}

// With fadeAtEnvelopeEnd a release without a volume envelope fades instead of ending the note,
// and an envelope that comes to its end starts the fade-out with the key still held.
TEST_F(StruckVoice, TheFadeCanStartAtTheEnvelopesEndInsteadOfAtTheRelease) {
  instrument->fadeout = 0x8000;
  instrument->fadeAtEnvelopeEnd = 1;
  strike(60);
  run(ClearVoiceFlags, kVoiceKeyHeld);
  EXPECT_EQ(voice->active & (kVoiceSounding | kVoiceFading), kVoiceSounding | kVoiceFading);
  voiceTick(engine, voice);
  EXPECT_EQ(voice->volumeEnvelopeValue, 0x10000);
  voiceTick(engine, voice);
  EXPECT_EQ(voice->volumeEnvelopeValue, 0x8000);

  std::vector<int32_t> values = {0x10000, 0x10000, 0x10000};
  Envelope envelope{kNoEnvelopePoint, kNoEnvelopePoint, 0, kNoEnvelopePoint, 0, 3, values.data()};
  instrument->volumeEnvelope = &envelope;
  strike(60);
  voice->volumeEnvelope = &envelope;  // the instrument was selected already
  voice->volumeEnvelopeIndex = 0;
  std::vector<int32_t> seen;
  for (int i = 0; i < 5; ++i) {
    voiceTick(engine, voice);
    seen.push_back(voice->volumeEnvelopeValue);
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{0x10000, 0x10000, 0x10000, 0x8000, 0}));
  EXPECT_TRUE(voice->active & kVoiceKeyHeld);
  instrument->fadeAtEnvelopeEnd = 0;
  strike(60);
  run(ClearVoiceFlags, kVoiceKeyHeld);  // the design's rule: the fade-out follows the release
  EXPECT_EQ(voice->active & kVoiceFading, 0);
}

// A sample's sustain loop holds while the key does; the release goes on to its loop (or none),
// and the next strike takes the sustain loop again. A sustain loop outside the data is dropped.
TEST_F(StruckVoice, ASustainLoopIsHeldUntilTheReleaseAndTakenAgainAtTheNextStrike) {
  Sample* sample = song.get()->samples[looped];
  sample->sustainMode = kLoopPingPong;
  sample->sustainStart = 20;
  sample->sustainEnd = 80;
  auto loop = [&] { return std::tuple(voice->loopFlags & 3, voice->loopStart, voice->loopEnd, voice->loopLength); };
  run(SelectSample, looped);
  run(SetVoiceFlags, 3);
  EXPECT_EQ(loop(), std::tuple(kVoiceLoopPingPong, 20, 80, 60));
  voice->loopFlags |= kVoiceMovingBackward;
  run(ClearVoiceFlags, kVoiceKeyHeld);
  EXPECT_EQ(loop(), std::tuple(kVoiceLoopForward, 120, 200, 80));
  EXPECT_EQ(voice->loopFlags & kVoiceMovingBackward, 0u);
  run(SetVoiceFlags, 3);
  EXPECT_EQ(loop(), std::tuple(kVoiceLoopPingPong, 20, 80, 60));
  sample->loopMode = kLoopNone;
  applyNoteAction(voice, kNoteActionOff);
  EXPECT_EQ(std::tuple(voice->loopFlags, voice->loopEnd), std::tuple(0u, kVoiceNoLoopEnd));

  sample->sustainEnd = 202;  // past the data
  ASSERT_EQ(PrepareSampleData(sample), 0);
  EXPECT_EQ(sample->sustainMode, kLoopNone);
}

}  // namespace
}  // namespace tvp::test
