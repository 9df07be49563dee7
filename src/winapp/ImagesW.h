// The pictures of the tool bar and the context menu, drawn with GDI when the window is built (the
// same simple drawings as the Qt window's), in the order of Image.
#pragma once

#include "platform/windows/Win32.h"

#include <commctrl.h>

namespace zvek {

// An image list of `size` x `size` pictures, one for each Image but None.
HIMAGELIST ToolImages(int size);

}  // namespace zvek
