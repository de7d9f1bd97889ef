#include "platform/ui/ScriptedUiServices.h"

#include <cstdio>
#include <cstdlib>

namespace ui {

MsgAnswer ScriptedUiServices::ShowMessage(const MessageRequest& request) {
    messages.push_back(request);
    if (request.buttons == MsgButtons::Ok) return MsgAnswer::Ok;
    if (answers_.empty()) {
        // Aborting (rather than throwing) keeps a catch-all handler in the code under test
        // from swallowing the mistake.
        std::fprintf(stderr, "ScriptedUiServices: unscripted question\n  caption: %s\n  text: %s\n",
                     request.caption.c_str(), request.text.c_str());
        std::abort();
    }
    const MsgAnswer a = answers_.front();
    answers_.pop_front();
    return a;
}

void ScriptedUiServices::SetBusyCursor(bool b) {
    ++cursorChanges;
    busy = b;
}

} // namespace ui
