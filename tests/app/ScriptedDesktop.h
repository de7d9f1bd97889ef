// A desktop whose top-level windows are a list given by the test; records activations.
#pragma once

#include "platform/windows/DesktopWindows.h"

#include <vector>

namespace test {

class ScriptedDesktop final : public windows::IDesktopWindows {
public:
    explicit ScriptedDesktop(std::vector<windows::TopLevelWindow> windows) : windows_(std::move(windows)) {}

    std::vector<windows::TopLevelWindow> Enumerate() override {
        ++enumerations;
        return windows_;
    }
    void Activate(windows::WindowHandle window) override { activated.push_back(window); }

    int enumerations = 0;
    std::vector<windows::WindowHandle> activated;

private:
    std::vector<windows::TopLevelWindow> windows_;
};

}  // namespace test
