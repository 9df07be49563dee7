// The scoped wait cursor.
#pragma once

#include "platform/Host.h"

namespace zvek {

// Shows the hourglass for the lifetime of the object and puts back the
// cursor it found, also when the operation ends by an exception. Objects
// nest: each restores exactly what was in force when it was made.
class hlWaitCursor {
public:
    explicit hlWaitCursor(Host& host) : host_(host), saved_(host.ScreenCursor()) { host_.SetScreenCursor(crHourGlass); }
    ~hlWaitCursor() { host_.SetScreenCursor(saved_); }
    hlWaitCursor(const hlWaitCursor&) = delete;
    hlWaitCursor& operator=(const hlWaitCursor&) = delete;

private:
    Host& host_;
    std::int16_t saved_;
};

}  // namespace zvek
