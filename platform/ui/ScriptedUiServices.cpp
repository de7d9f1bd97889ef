#include "platform/ui/ScriptedUiServices.h"

#include <cstdio>
#include <cstdlib>

namespace ui {

TMsgAnswer TScriptedUiServices::ShowMessage(const TMessageRequest& request) {
    messages.push_back(request);
    if (request.buttons == TMsgButtons::Ok) return TMsgAnswer::Ok;
    if (answers_.empty()) {
        // Aborting (rather than throwing) keeps a catch-all handler in the code under test
        // from swallowing the mistake.
        std::fprintf(stderr, "ScriptedUiServices: unscripted question\n  caption: %s\n  text: %s\n",
                     request.caption.c_str(), request.text.c_str());
        std::abort();
    }
    const TMsgAnswer a = answers_.front();
    answers_.pop_front();
    return a;
}

void TScriptedUiServices::SetBusyCursor(bool b) {
    ++cursorChanges;
    busy = b;
}

} // namespace ui
