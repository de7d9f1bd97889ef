// The program's standard error box, and the guard every window event handler runs in:
// an error that leaves a handler is shown (caption "Tablora", stop icon) and the window
// goes on running. Qt must never see an exception pass through its event loop.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace app {

inline constexpr const char* ProgramTitle = "Tablora";

void ShowStandardErrorBox(const std::string& text);

// Shows the error that is being handled; call only inside a catch block.
void ShowCurrentError();

template <typename Handler>
void Guarded(Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ShowCurrentError();
    }
}

} // namespace app
