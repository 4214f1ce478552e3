// A build without sd-bus: there is never a session bus to serve.
#include "platform/session_media_controls.h"

namespace tvp {

std::unique_ptr<MediaControls> OpenSessionMediaControls() { return nullptr; }

}  // namespace tvp
