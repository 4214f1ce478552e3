#include "soundtrack/soundtrack.h"

#include <algorithm>
#include <cstring>

#include "soundtrack/status.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {

namespace {

constexpr uint32_t kBlockMarker = 0x80000000u;  // param bit 31 on a block pattern's first record

bool HasBit31(int32_t param) { return (static_cast<uint32_t>(param) & kBlockMarker) != 0; }

template <typename T>
T* AllocRecords(int32_t count) {
  return static_cast<T*>(ZeroAllocArray(count, static_cast<int32_t>(sizeof(T))));
}

// One resize for all five tables. The new table is allocated before anything is touched, so a
// failure leaves count and table as they were.
template <typename T>
int16_t ResizeTable(int32_t* count, T** table, int32_t newCount) {
  if (newCount < 0) return kStatusBadParam;
  if (newCount == 0) {
    ZeroFree(*table);
    *table = nullptr;
    *count = 0;
    return kStatusOk;
  }
  T* fresh = AllocRecords<T>(newCount);
  if (fresh == nullptr) return kStatusOutOfMemory;
  int32_t keep = *table != nullptr ? std::min(*count, newCount) : 0;
  if (keep > 0) std::memcpy(fresh, *table, static_cast<size_t>(keep) * sizeof(T));
  ZeroFree(*table);
  *table = fresh;
  *count = newCount;
  return kStatusOk;
}

template <typename T>
int32_t CountFilled(int32_t count, T* const* table) {
  if (table == nullptr) return 0;
  auto filled = std::count_if(table, table + std::max(count, 0), [](const T* slot) { return slot != nullptr; });
  return static_cast<int32_t>(filled);
}

struct SortKey {
  int32_t time;
  int32_t channel;
  int32_t rank;
};

SortKey KeyOf(const Event& e) { return {e.time, e.channel, EventCodeRank(e.code)}; }

bool Less(const SortKey& a, const SortKey& b) {
  if (a.time != b.time) return a.time < b.time;
  if (a.channel != b.channel) return a.channel < b.channel;
  return a.rank < b.rank;
}

// The loop of a sample must lie in whole frames inside the data, or the guard frames written
// at its end would land outside the block; a ping-pong loop also mirrors two frames back from
// its end. Bounds are rounded down to whole frames; a loop that still does not fit (or a mode
// the mixer does not know) is dropped, so the sample plays once.
bool FitLoop(Sample* sample) {
  int32_t start = sample->loopStart & ~1;
  int32_t end = sample->loopEnd & ~1;
  bool known = sample->loopMode == kLoopForward || sample->loopMode == kLoopPingPong;
  int32_t shortest = sample->loopMode == kLoopPingPong ? 4 : 2;
  if (!known || start < 0 || end > sample->length || end - start < shortest) {
    sample->loopMode = kLoopNone;
    return false;
  }
  sample->loopStart = start;
  sample->loopEnd = end;
  sample->loopLength = end - start;
  return true;
}

// The same rules for a sustain loop; it keeps no guard frames, so the interpolation at its end
// reads the frames that follow it.
void FitSustainLoop(Sample* sample) {
  if (sample->sustainMode == kLoopNone) return;
  const int32_t start = sample->sustainStart & ~1;
  const int32_t end = sample->sustainEnd & ~1;
  const bool known = sample->sustainMode == kLoopForward || sample->sustainMode == kLoopPingPong;
  const int32_t shortest = sample->sustainMode == kLoopPingPong ? 4 : 2;
  if (!known || start < 0 || end > sample->length || end - start < shortest) {
    sample->sustainMode = kLoopNone;
    return;
  }
  sample->sustainStart = start;
  sample->sustainEnd = end;
}

}  // namespace

Soundtrack* NewSoundtrack() { return AllocRecords<Soundtrack>(1); }

void ReleaseSoundtrack(Soundtrack* soundtrack) {
  if (soundtrack == nullptr) return;
  soundtrack->flags &= ~kSoundtrackInUse;
  // A partly built soundtrack may have a count without its table: skip null tables and slots.
  if (soundtrack->instruments != nullptr) {
    for (int32_t i = 0; i < soundtrack->instrumentCount; ++i) FreeInstrument(soundtrack->instruments[i]);
  }
  ZeroFree(soundtrack->instruments);
  if (soundtrack->samples != nullptr) {
    for (int32_t i = 0; i < soundtrack->sampleCount; ++i) FreeSample(soundtrack->samples[i]);
  }
  ZeroFree(soundtrack->samples);
  if (soundtrack->envelopes != nullptr) {
    for (int32_t i = 0; i < soundtrack->envelopeCount; ++i) FreeEnvelope(soundtrack->envelopes[i]);
  }
  ZeroFree(soundtrack->envelopes);
  if (soundtrack->patterns != nullptr) {
    for (int32_t i = 0; i < soundtrack->patternCount; ++i) FreePattern(soundtrack->patterns[i]);
  }
  ZeroFree(soundtrack->patterns);
  ZeroFree(soundtrack->playPositions);
  ZeroFree(soundtrack);
}

int16_t ResizeInstrumentSlots(Soundtrack* soundtrack, int32_t count) {
  if (soundtrack == nullptr) return kStatusBadParam;
  return ResizeTable(&soundtrack->instrumentCount, &soundtrack->instruments, count);
}

int16_t ResizeSampleSlots(Soundtrack* soundtrack, int32_t count) {
  if (soundtrack == nullptr) return kStatusBadParam;
  return ResizeTable(&soundtrack->sampleCount, &soundtrack->samples, count);
}

int16_t ResizeEnvelopeSlots(Soundtrack* soundtrack, int32_t count) {
  if (soundtrack == nullptr) return kStatusBadParam;
  return ResizeTable(&soundtrack->envelopeCount, &soundtrack->envelopes, count);
}

int16_t ResizePatternSlots(Soundtrack* soundtrack, int32_t count) {
  if (soundtrack == nullptr) return kStatusBadParam;
  return ResizeTable(&soundtrack->patternCount, &soundtrack->patterns, count);
}

int16_t ResizePlayPositionSlots(Soundtrack* soundtrack, int32_t count) {
  if (soundtrack == nullptr) return kStatusBadParam;
  return ResizeTable(&soundtrack->playPositionCount, &soundtrack->playPositions, count);
}

Instrument* NewInstrument() {
  Instrument* instrument = AllocRecords<Instrument>(1);
  if (instrument != nullptr) {
    instrument->volume = 0x10000;
    instrument->panning = kNoDefaultPanning;
    instrument->filterCutoff = -1;
    instrument->filterResonance = -1;
  }
  return instrument;
}
Envelope* NewEnvelope() { return AllocRecords<Envelope>(1); }

int16_t FillEnvelope(Envelope* envelope, const int32_t* ticks, const int32_t* values, int32_t count) {
  envelope->length = ticks[count - 1] + 1;
  envelope->values = AllocRecords<int32_t>(envelope->length);
  if (envelope->values == nullptr) return kStatusOutOfMemory;
  for (int32_t p = 0; p < count; ++p) {
    envelope->values[ticks[p]] = values[p];
    if (p == 0 || ticks[p] == ticks[p - 1]) continue;
    const int64_t t0 = ticks[p - 1];
    const int64_t width = ticks[p] - t0;
    const int64_t rise = values[p] - values[p - 1];
    for (int64_t t = t0 + 1; t < ticks[p]; ++t) {
      envelope->values[t] = static_cast<int32_t>((t - t0) * rise / width + values[p - 1]);
    }
  }
  return kStatusOk;
}
Event* NewEvent() { return AllocRecords<Event>(1); }

Sample* NewSample(int16_t* status) {
  Sample* sample = AllocRecords<Sample>(1);
  int16_t result = kStatusOutOfMemory;
  if (sample != nullptr) {
    sample->stepTable = AllocRecords<uint32_t>(kStepTableEntries);
    if (sample->stepTable != nullptr) result = kStatusOk;
  }
  if (status != nullptr) *status = result;
  return sample;
}

// Instruments only point into the sample and envelope tables; those own what they point at.
void FreeInstrument(Instrument* instrument) { ZeroFree(instrument); }

void FreeSample(Sample* sample) {
  if (sample == nullptr) return;
  ZeroFree(sample->stepTable);
  // Once prepared, data points one frame into the block; before that it is the loader's buffer.
  ZeroFree(sample->block != nullptr ? static_cast<void*>(sample->block) : sample->data);
  ZeroFree(sample);
}

void FreeEnvelope(Envelope* envelope) {
  if (envelope == nullptr) return;
  ZeroFree(envelope->values);
  ZeroFree(envelope);
}

void FreeEvent(Event* event) { ZeroFree(event); }

// A pattern allocated as one block carries bit 31 on its first record's param, and freeing
// that record frees the whole block. Only the first record can be such a marker: further on,
// bit 31 is a negative value (a left panning, a downward limit) or a flow event's reset
// request, and stopping there would leak the rest of a chain built event by event (every
// initial settings pattern with a left-panned channel).
void FreePattern(Event* first) {
  if (first != nullptr && HasBit31(first->param)) {
    ZeroFree(first);
    return;
  }
  for (Event* event = first; event != nullptr;) {
    Event* next = event->next;
    ZeroFree(event);
    event = next;
  }
}

int32_t CountFilledInstrumentSlots(const Soundtrack* soundtrack) {
  return soundtrack != nullptr ? CountFilled(soundtrack->instrumentCount, soundtrack->instruments) : 0;
}

int32_t CountFilledSampleSlots(const Soundtrack* soundtrack) {
  return soundtrack != nullptr ? CountFilled(soundtrack->sampleCount, soundtrack->samples) : 0;
}

int32_t CountFilledEnvelopeSlots(const Soundtrack* soundtrack) {
  return soundtrack != nullptr ? CountFilled(soundtrack->envelopeCount, soundtrack->envelopes) : 0;
}

int32_t CountFilledPatternSlots(const Soundtrack* soundtrack) {
  return soundtrack != nullptr ? CountFilled(soundtrack->patternCount, soundtrack->patterns) : 0;
}

Event* AppendEvent(Event* previous, int32_t time, int32_t channel, int32_t code, int32_t param) {
  Event* event = NewEvent();
  if (event == nullptr) return nullptr;
  *event = {nullptr, time, channel, code, param};
  if (previous != nullptr) previous->next = event;
  return event;
}

void PutEvent(Event* array, int32_t index, int32_t time, int32_t channel, int32_t code, int32_t param) {
  // Index 0 is the header and record index - 1 gets linked, so events start at index 1.
  if (array == nullptr || index < 1) return;
  int32_t capacity = array[0].param;
  if (capacity > 0 && index >= capacity) return;
  array[index] = {nullptr, time, channel, code, param};
  array[index - 1].next = &array[index];
}

// Quicksort with the middle record's key as pivot. Equal keys end where this exact partition
// leaves them, which callers can observe, so the partition must not change. Recursing into the
// smaller part and looping on the larger keeps the stack at log2(n) frames whatever the input;
// the two parts are disjoint, so the order they are sorted in does not change the result.
void SortEvents(Event* array, int32_t first, int32_t last) {
  if (array == nullptr || first < 0) return;
  while (first < last) {
    const SortKey pivot = KeyOf(array[first + (last - first) / 2]);
    int32_t i = first;
    int32_t j = last;
    do {
      while (Less(KeyOf(array[i]), pivot)) ++i;
      while (Less(pivot, KeyOf(array[j]))) --j;
      if (i <= j) {
        std::swap(array[i], array[j]);  // whole records, next included: LinkEvents relinks
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - first < last - i) {
      if (first < j) SortEvents(array, first, j);
      first = i;
    } else {
      if (i < last) SortEvents(array, i, last);
      last = j;
    }
  }
}

void LinkEvents(Event* array, int32_t count) {
  if (array == nullptr || count < 1) return;
  for (int32_t i = 0; i + 1 < count; ++i) array[i].next = &array[i + 1];
  array[count - 1].next = nullptr;
}

int32_t EventCodeRank(int32_t code) {
  switch (code) {
    case EventCode::HandOffVoice:  // the old note leaves before the new one is set up
      return -1;
    case EventCode::SelectInstrument:
      return 0;
    case EventCode::SetPitch:
    case EventCode::SetPeriod:
      return 1;
    case EventCode::LoopCount:
    case EventCode::SelectSample:
    case EventCode::SelectSampleByNote:
      return 2;
    case EventCode::ResetVolume:
    case EventCode::ResetPanning:
      return 3;
    case EventCode::SetGlobalVolume:
    case EventCode::SetVolume:
    case EventCode::SetPanning:
      return 4;
    case EventCode::StartSample:
      return 5;
    case EventCode::SetVoiceFlags:
      return 6;
    case EventCode::ResetModulators:  // brings back the instrument's envelopes, which a switch then changes
      return 7;
    case EventCode::SwitchEnvelopes:
      return 8;
    default:
      return 0x7FFFFFFF;
  }
}

Event* NewPatternBlock(const Event* records, int32_t count) {
  if (records == nullptr || count < 1) return nullptr;
  Event* block = AllocRecords<Event>(count);
  if (block == nullptr) return nullptr;
  std::memcpy(block, records, static_cast<size_t>(count) * sizeof(Event));
  LinkEvents(block, count);
  block[0].param = static_cast<int32_t>(static_cast<uint32_t>(block[0].param) | kBlockMarker);
  return block;
}

// The playing form: one zero frame before the data and two after it, so the mixer can read
// two frames past any position without an end test. The length is taken in whole frames.
int16_t PrepareSampleData(Sample* sample) {
  if (sample == nullptr) return kStatusBadParam;
  if (sample->length < 1) return kStatusOk;
  // A sample already prepared holds its frames in the block; the loader's buffer is gone.
  void* old = sample->block != nullptr ? static_cast<void*>(sample->block) : sample->data;
  int32_t frames = sample->length / 2;
  if (frames == 0) {
    // A single byte is no frame: the sample becomes empty, as one of length 0.
    ZeroFree(old);
    sample->data = nullptr;
    sample->block = nullptr;
    sample->length = 0;
    sample->loopMode = kLoopNone;
    sample->sustainMode = kLoopNone;
    return kStatusOk;
  }
  int16_t* block = AllocRecords<int16_t>(frames + 3);
  if (block == nullptr) return kStatusOutOfMemory;
  int16_t* data = block + 1;  // block[0] stays 0: the frame before the first
  if (sample->data != nullptr) std::memcpy(data, sample->data, static_cast<size_t>(frames) * 2);
  data[frames] = data[frames - 1];
  data[frames + 1] = data[frames - 1];
  ZeroFree(old);
  sample->block = block;
  sample->data = data;
  sample->length = frames * 2;
  FitSustainLoop(sample);

  if (sample->loopMode == kLoopNone || !FitLoop(sample)) return kStatusOk;
  int32_t s = sample->loopStart / 2;
  int32_t e = sample->loopEnd / 2;
  sample->savedGuard[0] = data[e];
  sample->savedGuard[1] = data[e + 1];
  if (sample->loopMode == kLoopForward) {
    // In order: for a one-frame loop data[s + 1] is data[e], which now holds data[s].
    data[e] = data[s];
    data[e + 1] = data[s + 1];
  } else {
    data[e] = data[e - 1];
    data[e + 1] = data[e - 2];
  }
  return kStatusOk;
}

}  // namespace tvp
