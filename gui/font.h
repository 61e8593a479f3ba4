// The window's font: the face the layout was made for when the system has
// it, else the nearest Japanese Gothic, else the system's message font.
#pragma once

#include <string>

#include "gui/handles.h"

namespace gui {

// The first face of the list the system has; empty when it has none.
std::wstring AvailableFontFace();
// The window's font at `dpi` (13 pixels at 96 DPI).
Font MakeWindowFont(UINT dpi, bool underline);

}  // namespace gui
