#include "platform/ui/UiServices.h"

namespace ui {

namespace {

class TSilentUiServices : public IUiServices {
public:
    TMsgAnswer ShowMessage(const TMessageRequest& request) override { return request.defaultButton; }
    void ProcessMessages() override {}
    void SetBusyCursor(bool) override {}
    void Pause(int) override {}
};

TSilentUiServices& Silent() {
    static TSilentUiServices silent;
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
    Ui().ShowMessage({caption, text, TMsgIcon::Error, TMsgButtons::Ok, TMsgAnswer::Ok});
}

void ShowWarning(const std::string& caption, const std::string& text) {
    Ui().ShowMessage({caption, text, TMsgIcon::Warning, TMsgButtons::Ok, TMsgAnswer::Ok});
}

void ShowInformation(const std::string& caption, const std::string& text) {
    Ui().ShowMessage({caption, text, TMsgIcon::Information, TMsgButtons::Ok, TMsgAnswer::Ok});
}

bool AskYesNo(const std::string& caption, const std::string& text, TMsgIcon icon, TMsgAnswer defaultButton) {
    return Ui().ShowMessage({caption, text, icon, TMsgButtons::YesNo, defaultButton}) == TMsgAnswer::Yes;
}

} // namespace ui
