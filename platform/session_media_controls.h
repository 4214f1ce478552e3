#pragma once
// The media controls on the desktop's session bus: the player's MPRIS 2 service, through sd-bus,
// on the main thread (the bus's work is taken once a frame and never waited for).
#include <memory>

#include "platform/media_controls.h"

namespace tvp {

// Connects to the session bus (DBUS_SESSION_BUS_ADDRESS, else the user's bus socket) and asks
// for the bus name org.mpris.MediaPlayer2.tonvale, or org.mpris.MediaPlayer2.tonvale.instance<pid>
// when another player has it. Null when there is no session bus or it refuses the connection;
// a bus that goes away later leaves a service that does nothing.
std::unique_ptr<MediaControls> OpenSessionMediaControls();

}  // namespace tvp
