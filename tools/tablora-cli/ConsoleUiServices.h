// The UI services of the command-line front end: message boxes go to standard error as
// "caption: text", questions are answered by --yes / --no (or asked on a terminal), and
// nothing ever pauses. Every error message shown is counted, so the run can end with
// "a problem was reported".
#pragma once

#include "platform/ui/UiServices.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

class TConsoleUiServices : public ui::IUiServices {
public:
    // `preset` answers every question; without it questions are asked on the terminal,
    // and refused (an error) when standard input is not one.
    TConsoleUiServices(std::optional<bool> preset, bool interactive) : preset_(preset), interactive_(interactive) {}

    ui::TMsgAnswer ShowMessage(const ui::TMessageRequest& request) override;
    void ProcessMessages() override {}
    void SetBusyCursor(bool) override {}
    void Pause(int) override {}

    struct TShown {
        std::string caption, text, icon, answer;
    };
    const std::vector<TShown>& Messages() const { return shown_; }
    int ErrorCount() const { return errors_; }

private:
    std::optional<bool> preset_;
    bool interactive_;
    std::vector<TShown> shown_;
    int errors_ = 0;
};

// Message texts use "\r\n" and "\r" as line breaks; a console wants "\n".
std::string ConsoleText(const std::string& text);

} // namespace cli
