#include "platform/ui/UiServices.h"

namespace ui {

namespace {

class SilentUiServices : public IUiServices {
public:
    MsgAnswer ShowMessage(const MessageRequest& request) override { return request.defaultButton; }
    void ProcessMessages() override {}
    void SetBusyCursor(bool) override {}
    void Pause(int) override {}
};

SilentUiServices& Silent() {
    static SilentUiServices silent;
    return silent;
}

IUiServices*& Current() {
    static IUiServices* current = nullptr;
    return current;
}

} // namespace

IUiServices& Ui() { return Current() ? *Current() : Silent(); }

IUiServices* InstallUiServices(IUiServices* services) {
    IUiServices* previous = Current();
    Current() = services;
    return previous;
}

void ShowError(const std::string& caption, const std::string& text) {
    Ui().ShowMessage({caption, text, MsgIcon::Error, MsgButtons::Ok, MsgAnswer::Ok});
}

void ShowWarning(const std::string& caption, const std::string& text) {
    Ui().ShowMessage({caption, text, MsgIcon::Warning, MsgButtons::Ok, MsgAnswer::Ok});
}

void ShowInformation(const std::string& caption, const std::string& text) {
    Ui().ShowMessage({caption, text, MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok});
}

bool AskYesNo(const std::string& caption, const std::string& text, MsgIcon icon, MsgAnswer defaultButton) {
    return Ui().ShowMessage({caption, text, icon, MsgButtons::YesNo, defaultButton}) == MsgAnswer::Yes;
}

} // namespace ui
