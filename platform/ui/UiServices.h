// The few things core code asks of the user interface: modal message boxes, letting the
// window process pending messages, the hourglass cursor and pauses. One process-wide
// service; the program installs the Qt one, tests a scripted one that never sleeps.
#pragma once

#include <string>

namespace ui {

enum class TMsgIcon { Error, Warning, Information };
enum class TMsgButtons { Ok, YesNo };
enum class TMsgAnswer { Ok, Yes, No };

struct TMessageRequest {
    std::string caption;
    std::string text;  // may hold "\r\n" line breaks; shown as written
    TMsgIcon icon = TMsgIcon::Information;
    TMsgButtons buttons = TMsgButtons::Ok;
    TMsgAnswer defaultButton = TMsgAnswer::Ok;
};

class IUiServices {
public:
    virtual ~IUiServices() = default;
    virtual TMsgAnswer ShowMessage(const TMessageRequest& request) = 0;
    virtual void ProcessMessages() = 0;
    virtual void SetBusyCursor(bool busy) = 0;
    virtual void Pause(int milliseconds) = 0;
};

// The installed service. Without an installed one, a silent default answers every
// question with its default button and does not sleep.
IUiServices& Ui();
// Installs `services` (not owned) and returns the previous one; nullptr restores the default.
IUiServices* InstallUiServices(IUiServices* services);

// Installs a service for one scope and puts the previous one back.
class TScopedUiServices {
public:
    explicit TScopedUiServices(IUiServices& services) : previous_(InstallUiServices(&services)) {}
    ~TScopedUiServices() { InstallUiServices(previous_); }
    TScopedUiServices(const TScopedUiServices&) = delete;
    TScopedUiServices& operator=(const TScopedUiServices&) = delete;

private:
    IUiServices* previous_;
};

// Shorthands for the message boxes the operations show.
void ShowError(const std::string& caption, const std::string& text);
void ShowWarning(const std::string& caption, const std::string& text);
void ShowInformation(const std::string& caption, const std::string& text);
// Asks a Yes/No question; true for Yes.
bool AskYesNo(const std::string& caption, const std::string& text, TMsgIcon icon, TMsgAnswer defaultButton);

// Shows the hourglass for one scope, also when the scope is left by an error.
class TBusyCursor {
public:
    TBusyCursor() { Ui().SetBusyCursor(true); }
    ~TBusyCursor() { Ui().SetBusyCursor(false); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

} // namespace ui
