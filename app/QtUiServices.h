// The user-interface services of the running program: real message boxes, the event loop,
// the wait cursor and pauses, over Qt Widgets.
#pragma once

#include "platform/ui/UiServices.h"

class TQtUiServices final : public ui::IUiServices {
public:
    ~TQtUiServices() override;

    // A modal box over the active window; "\r\n" in the text is a line break.
    ui::MsgAnswer ShowMessage(const ui::MessageRequest& request) override;
    void ProcessMessages() override;
    // Nested requests are counted; the cursor returns when the last one ends.
    void SetBusyCursor(bool busy) override;
    // Blocks the calling thread, as the operations expect: nothing else runs meanwhile.
    void Pause(int milliseconds) override;

private:
    int busyDepth_ = 0;
};
