// Tool-bar and context-menu images: the desktop theme's icon where one
// fits, else a small picture of our own.
#pragma once

#include <QIcon>

#include "window/Controls.h"

namespace zvek {

QIcon ToolIcon(Image image);

}  // namespace zvek
