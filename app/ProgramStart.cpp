#include "app/ProgramStart.h"

#include "app/Application.h"
#include "app/StandardErrorBox.h"
#include "app/WidgetUiServices.h"
#include "app/SingleInstanceGuard.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Process.h"

#include "app/ProgramImages.h"

#include <QApplication>

#include <cstdlib>
#include <exception>

namespace {

// While the program runs, a wait for a database directory that another run holds lets the
// window go on painting.
struct TLockWaitsThroughUi {
    TLockWaitsThroughUi() { rtl::SetLockWaitFunction([](int ms) { ui::Ui().Pause(ms); }); }
    ~TLockWaitsThroughUi() { rtl::SetLockWaitFunction(nullptr); }
};

}  // namespace

int RunApplication(int& argc, char** argv, const std::function<std::unique_ptr<QWidget>()>& createMainWindow) {
    TApplication application(argc, argv);
    rtl::SetLanguage(rtl::TLanguage::Slovak);
    app::InstallSlovakQtTranslations(application);
    app::TWidgetUiServices services;
    ui::TScopedUiServices installed(services);
    const TLockWaitsThroughUi lockWaits;
    QApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
    QApplication::setWindowIcon(ProgramIcon());

    std::unique_ptr<QWidget> mainWindow;
    try {
        mainWindow = createMainWindow();
    } catch (const std::exception& error) {
        app::ShowStandardErrorBox(error.what());
        return 1;
    }
    if (!mainWindow) return 1;
    MarkAsMainWindow(*mainWindow);
    mainWindow->show();
    // Without a window manager nobody else gives the new window the keyboard.
    mainWindow->activateWindow();
    QApplication::exec();
    return 0;
}
