#pragma once
// What the fuzzing harnesses do with one input, shared with the regression test that replays
// every kept input in the normal test suite. Each returns normally for any input; a fault shows
// as a sanitizer report, a crash or a hang.
#include <cstddef>
#include <cstdint>

namespace tvp::fuzz {

enum class Target { XM, S3M, MOD, IT, Pipeline, Picture };

// Feeds the bytes through the file layer to one loader, then releases what it built.
void LoadWithOneLoader(Target loader, const uint8_t* data, size_t size);
// The loader chain, then bind, prepare, start and about two seconds of audio in an interpolation
// mode chosen by the input, then the play-time estimate.
void LoadAndPlay(const uint8_t* data, size_t size);

// The picture reader, then a font cut from what it read and a line of text drawn with it.
void ReadPicture(const uint8_t* data, size_t size);

void RunTarget(Target target, const uint8_t* data, size_t size);
// "xm", "s3m", "mod", "it", "pipeline", "picture"; false for any other name.
bool TargetByName(const char* name, Target* target);

}  // namespace tvp::fuzz
