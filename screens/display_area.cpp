#include "screens/display_area.h"

namespace tvp {

// The four displays are not drawn yet: the area stays black in every mode.
void DrawDisplayArea(PlayerState&) {}

}  // namespace tvp
