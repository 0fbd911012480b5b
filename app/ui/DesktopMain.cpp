#include "app/ui/DesktopMain.h"

#include "base/Application.h"
#include "app/Program.h"
#include "app/ProgramShell.h"
#include "app/SingleInstance.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/QtShell.h"
#include "ui/shell/UpdateController.h"

#include <QApplication>
#include <QMessageBox>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace corvanthelix {

namespace {

bool environmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Waits for a stop signal or a restart request and then ends the event loop. The signals are
// blocked in every thread, so only this wait takes them.
class StopWatcher {
public:
    explicit StopWatcher(const sigset_t& stopSignals) : stopSignals_(stopSignals), thread_([this] { watch(); }) {}
    ~StopWatcher() {
        done_ = true;
        thread_.join();
    }

private:
    void watch() {
        const timespec tick{0, 200 * 1000 * 1000};
        while (!done_) {
            const int signal = sigtimedwait(&stopSignals_, nullptr, &tick);
            if (signal > 0 || Application::instance().restartRequested()) {
                QMetaObject::invokeMethod(qApp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
                return;
            }
        }
    }
    sigset_t stopSignals_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

} // namespace

bool desktopAvailable() {
    return environmentSet("DISPLAY") || environmentSet("WAYLAND_DISPLAY") || environmentSet("QT_QPA_PLATFORM");
}

int runDesktop(int& argc, char** argv, const sigset_t& stopSignals, SingleInstance& instance) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    QApplication application(argc, argv);
    // A tray program lives on when its last window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(Application::kName);

    Application& app = Application::instance();
    MainWindow window(app.resourceFolder());
    QtShell desktop(window);
    ProgramShell shell(desktop);
    desktop.setRecycleRowHandler(
        [&window](RecycleRowChange change, const std::string& fileName) { window.recycleBinRowChanged(change, fileName); });
    UpdateController updates(window, app.programFolder());
    int exitCode = 0;
    {
        Program program(shell);
        window.beginStartUp(arguments);
        if (!program.startUp())
            std::fprintf(stderr, "corvanthelix: the local POP3 service could not start (certificate, key or ports)\n");
        instance.listen([&shell] { shell.trayShowAgain(); });
        window.finishStartUp();
        app.trimWorkingSet();
        std::fprintf(stderr, "corvanthelix: running in %s\n", app.programFolder().c_str());
        {
            StopWatcher watcher(stopSignals);
            exitCode = QApplication::exec();
        }
        std::fprintf(stderr, "corvanthelix: stopping\n");
        // Sessions still running get their answers without a person from here on, so stopping the
        // proxy (which waits for them) cannot wait on the ended event loop.
        desktop.stop();
        window.destroyWindow();
        program.shutDown();
    }
    return exitCode;
}

void showDesktopError(int& argc, char** argv, const std::string& text) {
    QApplication application(argc, argv);
    QMessageBox box(QMessageBox::Critical, Application::kName, QString::fromStdString(text), QMessageBox::Ok);
    box.setObjectName("startupError");
    box.exec();
}

} // namespace corvanthelix
