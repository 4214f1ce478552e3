#pragma once
// Event listings: the name of every event code and a text form of a pattern's chain, one event a
// line, for the renderer's --dump and for checking a loader's translation against a listing.
#include <cstdint>
#include <cstdio>

#include "soundtrack/soundtrack.h"

namespace tvp {

// The event's name ("SetVolume"), or null for a code no handler is known by.
const char* EventName(int32_t code);

// True for the codes that act on the voice of their channel (the variable codes and the song
// level codes use the channel field otherwise, or not at all).
bool IsChannelEvent(int32_t code);

// The number of channels the song drives: one more than the highest channel that any channel
// event of any pattern names; 0 for a song without channel events.
int32_t CountChannels(const Soundtrack* soundtrack);

// Writes one line per event of the chain from `first` on, skipping the head record (code 0 at
// the start of every chain):
//   "<slot> <row>.<tick> <channel> <name> <param>"
// as "%3d %4d.%02d %3d %-24s %08X", with row = time >> 8 and tick = time & 255, the parameter as
// an unsigned 32-bit hexadecimal number and an unknown code named "?0x%04X". Returns the number
// of lines written. A chain of more than kMaxDumpedEvents records is cut off there.
int32_t WritePatternEvents(std::FILE* out, int32_t slot, const Event* first);

// Every play position, then every non-empty pattern slot's events.
void WriteSoundtrackEvents(std::FILE* out, const Soundtrack* soundtrack);

inline constexpr int32_t kMaxDumpedEvents = 1 << 22;

}  // namespace tvp
