#pragma once
// The player's side of the desktop's media controls: each command runs the player's own command
// for it (F5, F8, F7, N, P, the seek and volume keys, the open-file window's choice), with the
// notice that command shows, and the status is read from the player as it stands.
#include <string>

#include "app/player_state.h"
#include "platform/media_controls.h"

namespace tvp {

class PlayerMediaSession : public MediaPlayer {
 public:
  explicit PlayerMediaSession(PlayerState& state) : state_(state) {}

  // Playing while the engine plays; stopped with no song, at its first frame or after its end;
  // paused otherwise. The track id changes with every load and every sub-song. Seeking needs a
  // song that plays.
  MediaStatus Status() override;
  void Raise() override;
  void Quit() override;        // as F12: the main loop ends after this frame
  void Play() override;        // F5
  void Pause() override;       // F8
  void Stop() override;        // F7
  void Next() override;        // N
  void Previous() override;    // P
  void SeekTo(int64_t position) override;
  void SetVolume(double volume) override;
  // The file's folder becomes the play list, from the file, as when it is chosen in the
  // open-file window; it plays also without AUTOSTART.
  bool OpenFile(const std::string& path) override;

 private:
  PlayerState& state_;
  // The loaded song's title and URL, made once a load (the status is read every frame).
  uint32_t loadNamed_ = 0;
  std::string title_;
  std::string url_;
};

// Hands the media controls, when there are any, the bus's pending work: once a frame.
void ServeMediaControls(PlayerState& state);

}  // namespace tvp
