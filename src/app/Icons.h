// Tool-bar and context-menu images: the desktop theme's icon where one
// fits, else a small picture of our own.
#pragma once

#include <QIcon>

namespace zvek {

enum class ToolImage { Open, SaveAs, Undo, Cut, Copy, Paste, Convert, ConvertFromIE, FindLyrics, HomePage, Help };

QIcon ToolIcon(ToolImage image);

}  // namespace zvek
