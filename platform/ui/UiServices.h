// The few things core code asks of the user interface: modal message boxes, letting the
// window process pending messages, the hourglass cursor and pauses. One process-wide
// service; the program installs the Qt one, tests a scripted one that never sleeps.
#pragma once

#include <string>

namespace ui {

enum class MsgIcon { Error, Warning, Information };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

struct MessageRequest {
    std::string caption;
    std::string text;  // may hold "\r\n" line breaks; shown as written
    MsgIcon icon = MsgIcon::Information;
    MsgButtons buttons = MsgButtons::Ok;
    MsgAnswer defaultButton = MsgAnswer::Ok;
};

class IUiServices {
public:
    virtual ~IUiServices() = default;
    virtual MsgAnswer ShowMessage(const MessageRequest& request) = 0;
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
class ScopedUiServices {
public:
    explicit ScopedUiServices(IUiServices& services) : previous_(InstallUiServices(&services)) {}
    ~ScopedUiServices() { InstallUiServices(previous_); }
    ScopedUiServices(const ScopedUiServices&) = delete;
    ScopedUiServices& operator=(const ScopedUiServices&) = delete;

private:
    IUiServices* previous_;
};

// Shorthands for the message boxes the operations show.
void ShowError(const std::string& caption, const std::string& text);
void ShowWarning(const std::string& caption, const std::string& text);
void ShowInformation(const std::string& caption, const std::string& text);
// Asks a Yes/No question; true for Yes.
bool AskYesNo(const std::string& caption, const std::string& text, MsgIcon icon, MsgAnswer defaultButton);

// Shows the hourglass for one scope, also when the scope is left by an error.
class BusyCursor {
public:
    BusyCursor() { Ui().SetBusyCursor(true); }
    ~BusyCursor() { Ui().SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace ui
