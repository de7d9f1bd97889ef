#include "app/MainWindowFactory.h"

#include "app/MainForm.h"

// The Help and About windows, each shown modally over its owner and released when it closes.
void ShowPomocnik(QWidget* owner);
void ShowAboutBox(QWidget* owner);

std::unique_ptr<QWidget> CreateMainWindow() {
    auto form = std::make_unique<app::TMainForm>();
    app::TMainForm* owner = form.get();
    form->OnHelp = [owner] { ShowPomocnik(owner); };
    form->OnAbout = [owner] { ShowAboutBox(owner); };
    return form;
}
