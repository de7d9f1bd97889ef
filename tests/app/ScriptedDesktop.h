// A desktop whose top-level windows are a list given by the test; records activations.
#pragma once

#include "platform/desktop/DesktopWindows.h"

#include <vector>

namespace test {

class ScriptedDesktop final : public desktop::IDesktopWindows {
public:
    explicit ScriptedDesktop(std::vector<desktop::TTopLevelWindow> windows) : windows_(std::move(windows)) {}

    std::vector<desktop::TTopLevelWindow> Enumerate() override {
        ++enumerations;
        return windows_;
    }
    void Activate(desktop::TWindowHandle window) override { activated.push_back(window); }

    int enumerations = 0;
    std::vector<desktop::TWindowHandle> activated;

private:
    std::vector<desktop::TTopLevelWindow> windows_;
};

}  // namespace test
