// The reference model: each frame mixed and stepped on its own, in plain 64-bit arithmetic.
#include "tests/mixer/reference_mixer.h"

#include <algorithm>
#include <cmath>

namespace tvp::reference {

namespace {

// Everything is computed in 64 bits; where the rules call for a 32-bit product, wrap32 keeps the
// low 32 bits, as a 32-bit machine would.
int64_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

// The nearest integer to x / 3.
int64_t third(int64_t x) { return std::lround(static_cast<double>(x) / 3.0); }

int64_t interpolate(int32_t method, const Voice& v) {
  const int64_t i = v.position >> 1;
  const int64_t f = v.positionFraction;
  const int64_t di = v.sampleData[i], dn = v.sampleData[i + 1];
  switch (method) {
    case 1:
      return di + (((f >> 1) * (dn - di)) >> 15);
    case 2:
      if (f > 49152) return di + (((f - 49152) * (dn - di)) >> 14);
      return di;
    case 3:
    case 7: {
      const int64_t a = v.sampleData[i - 1], b = di, c = dn, e = v.sampleData[i + 2];
      const int64_t t = f >> 1;
      const int64_t c1 = c - (b >> 1) - third((e >> 1) + a);
      const int64_t c3 = (b >> 1) - (c >> 1) + third((e >> 1) - (a >> 1));
      int64_t h = (wrap32(c3 * t) >> 16) - ((b - (c >> 1) - (a >> 1)) >> 1);
      h = wrap32(h * t) >> 15;
      const int64_t s = b + (wrap32((h + (c1 >> 1)) * t) >> 14);
      return std::clamp<int64_t>(s, -32768, 32767);
    }
    default:
      return di;
  }
}

void advance(Voice& v, bool backward) {
  const int32_t sign = backward ? -1 : 1;
  v.positionFraction += sign * v.stepFraction;
  if (v.positionFraction >= 65536) {
    v.positionFraction -= 65536;
    v.position += 2;
  } else if (v.positionFraction < 0) {
    v.positionFraction += 65536;
    v.position -= 2;
  }
  v.position += sign * v.stepWhole;
}

// Advances one frame and applies the loop rules; false when a one-shot sample ended.
bool step(Voice& v) {
  if (v.loopFlags & kVoiceLoopPingPong) {
    advance(v, (v.loopFlags & kVoiceMovingBackward) != 0);
    for (;;) {  // mirror about the end the voice passed, as often as it lies outside the loop
      const bool backward = (v.loopFlags & kVoiceMovingBackward) != 0;
      if (!backward && v.position >= v.loopEnd) {
        v.position = 2 * v.loopEnd - v.position - 2;
      } else if (backward && v.position < v.loopStart) {
        v.position = 2 * v.loopStart - v.position - 2;
      } else {
        return true;
      }
      v.positionFraction ^= 65535;
      v.loopFlags ^= kVoiceMovingBackward;
    }
  }
  advance(v, false);
  if (v.loopFlags & kVoiceLoopForward) {
    while (v.position >= v.loopEnd) v.position -= v.loopLength;
    return true;
  }
  return v.position < v.sampleEnd;
}

int64_t moveToward(int64_t current, int64_t target, int64_t limit) {
  return current + std::clamp(target - current, -limit, limit);
}

}  // namespace

int32_t mixVoice(int32_t mode, bool arpeggio, uint32_t arpeggioStepFrames, Voice& v, int32_t* mixBuffer,
                 int32_t frameCount) {
  if (!v.sampleData) return 0;
  const int32_t result = v.volume > 0 ? 1 : 0;
  if (v.position < 0 || v.position >= v.sampleEnd) {
    v.active = 0;
    return result;
  }
  const int32_t method = (mode >= 1 && mode <= 3) || mode == 7 ? mode : 0;
  const bool ramped = mode == 7;
  const bool silent = ramped ? v.volume < 1 && v.rampVolume < 1 : v.volume < 1;
  for (int32_t n = 0; n < frameCount; ++n) {
    if (!silent) {
      int64_t volume = v.volume, panning = v.panning;
      if (ramped) {
        v.rampVolume = static_cast<int32_t>(moveToward(v.rampVolume, v.volume, 96));
        v.rampPanning = static_cast<int32_t>(moveToward(v.rampPanning, v.panning, 16));
        volume = v.rampVolume;
        panning = v.rampPanning;
      }
      const int64_t gainLeft = ((4096 - panning) * volume) >> 13;
      const int64_t gainRight = ((4096 + panning) * volume) >> 13;
      const int64_t s = interpolate(method, v);
      mixBuffer[2 * n] = static_cast<int32_t>(wrap32(mixBuffer[2 * n] + (wrap32(s * gainLeft) >> 16)));
      mixBuffer[2 * n + 1] = static_cast<int32_t>(wrap32(mixBuffer[2 * n + 1] + (wrap32(s * gainRight) >> 16)));
    }
    if (!step(v)) {
      v.active = 0;
      return result;
    }
    if (arpeggio) {
      ++v.arpeggioCounter;
      if (static_cast<int64_t>(v.arpeggioCounter) >= static_cast<int64_t>(arpeggioStepFrames)) {
        v.arpeggioPhase = (v.arpeggioPhase + 1) % 3;
        updateVoiceStep(v);
        v.arpeggioCounter = 0;
      }
    }
  }
  return result;
}

void updateVoiceStep(Voice& v) {
  if (!v.stepTable) return;
  int32_t p = v.pitch;
  if (v.arpeggioOn && v.arpeggioPhase == 1) p += v.arpeggioOffset1;
  if (v.arpeggioOn && v.arpeggioPhase == 2) p += v.arpeggioOffset2;
  int32_t d = p - v.pitchOrigin;
  int64_t step;
  if (d >= 0) {
    step = static_cast<int64_t>(v.stepTable[d % 3072]) << (d / 3072);
  } else {
    int32_t count = 0;
    for (; d < 0; d += 3072) ++count;
    step = static_cast<int64_t>(static_cast<int32_t>(v.stepTable[d])) >> count;
  }
  const uint32_t low = static_cast<uint32_t>(step);  // the 32 bits a 32-bit register keeps
  v.stepWhole = static_cast<int32_t>((low >> 15) & 0x1FFFE);
  v.stepFraction = static_cast<int32_t>(low & 0xFFFF);
}

}  // namespace tvp::reference
