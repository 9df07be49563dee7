// A host that shows nothing and answers every question with Cancel.
#pragma once

#include "platform/Host.h"

namespace zvek::bench {

class NullHost : public Host {
public:
    MsgResult MessageBox(std::string_view, MsgKind, MsgButtons) override { return MsgResult::Cancel; }
    bool ExecuteDialog(FileDialog&) override { return false; }
    void SetStatusText(std::string_view) override {}
    void ProcessMessages() override {}
    std::int16_t ScreenCursor() const override { return cursor_; }
    void SetScreenCursor(std::int16_t cursor) override { cursor_ = cursor; }
    bool OpenInBrowser(const std::string&) override { return false; }

private:
    std::int16_t cursor_ = crDefault;
};

}  // namespace zvek::bench
