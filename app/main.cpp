// Entry of the Corvanthelix program.
#include "base/Application.h"
#include "app/HeadlessShell.h"
#include "app/Program.h"
#include "app/ProgramShell.h"
#include "app/SingleInstance.h"
#include "app/TrustServerCommand.h"
#ifdef CORVANTHELIX_WITH_QT
#include "app/ui/DesktopMain.h"
#endif

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

using namespace corvanthelix;

namespace {

struct Options {
    bool version = false;
    bool headless = false;
    bool help = false;
    std::string home;
    std::string trustServer; // HOST:PORT of --trust-server
    std::string error;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--version") options.version = true;
        else if (arg == "--headless") options.headless = true;
        else if (arg == "--help" || arg == "-h") options.help = true;
        else if (arg == "--home") {
            if (i + 1 >= argc) options.error = "--home needs a folder";
            else options.home = argv[++i];
        } else if (arg.rfind("--home=", 0) == 0) options.home = arg.substr(7);
        else if (arg == "--trust-server") {
            if (i + 1 >= argc) options.error = "--trust-server needs HOST:PORT";
            else options.trustServer = argv[++i];
        }
        else if (arg == "/wizard" || arg == "/firstrun") { /* desktop switches, handled by the shell */ }
        else options.error = "unknown option " + arg;
    }
    return options;
}

// Waits until SIGINT or SIGTERM arrives or a restart is asked for. The signals are blocked in
// every thread (the mask is set before the first thread starts), so only this wait takes them.
void runUntilStopped(const sigset_t& stopSignals) {
    const Application& app = Application::instance();
    timespec tick{0, 200 * 1000 * 1000};
    for (;;) {
        int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM) return;
        if (app.restartRequested()) return;
    }
}

// A restart runs the same program on the same folder, without the desktop's one-time switches.
void restart(int argc, char** argv, const std::string& programFolder) {
    std::vector<std::string> arguments{argv[0]};
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0) arguments.emplace_back(argv[i]);
    arguments.emplace_back("--home");
    arguments.push_back(programFolder);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    sigset_t none;
    sigemptyset(&none);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);
    ::execv("/proc/self/exe", pointers.data());
    std::perror("corvanthelix: restart failed");
}

} // namespace

int main(int argc, char** argv) {
    Options options = parseOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "corvanthelix: %s (try --help)\n", options.error.c_str());
        return 2;
    }
    if (options.help) {
        std::printf("usage: corvanthelix [--headless] [--home DIR] [--version] [--trust-server HOST:PORT]\n");
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", Application::kName, Application::kVersion);
        return 0;
    }
    Application& app = Application::instance();
    if (!app.setProgramFolder(Application::resolveProgramFolder(options.home, argv[0]))) {
        std::fprintf(stderr, "corvanthelix: cannot use the program folder\n");
        return 1;
    }

    if (!options.trustServer.empty()) return TrustServerCommand::run(options.trustServer, stdin, stdout);

    // One program per program folder: a second start asks the running one to show its tray icon.
    SingleInstance instance(app.programFolder());
    SingleInstance::Claim claim = instance.claim();
    if (claim != SingleInstance::Claim::First) {
        if (claim == SingleInstance::Claim::Second && SingleInstance::askToShowTrayIcon(app.programFolder()))
            std::fprintf(stderr, "corvanthelix: already running; asked it to show its tray icon\n");
        else
            std::fprintf(stderr, "corvanthelix: already running or the program folder is locked\n");
        return 1;
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

#ifdef CORVANTHELIX_WITH_QT
    if (!options.headless && desktopAvailable()) {
        const int desktopExitCode = runDesktop(argc, argv, stopSignals, instance);
        instance.release();
        if (app.restartRequested()) {
            restart(argc, argv, app.programFolder());
            return 1;
        }
        return desktopExitCode;
    }
#endif
    if (!options.headless)
        std::fprintf(stderr, "corvanthelix: no desktop to show the tray icon on; running without one\n");
    HeadlessShell headless;
    ProgramShell shell(headless);
    int exitCode = 0;
    {
        Program program(shell);
        if (!program.startUp())
            std::fprintf(stderr, "corvanthelix: the local POP3 service could not start (certificate, key or ports)\n");
        instance.listen([&shell] { shell.trayShowAgain(); });
        std::fprintf(stderr, "corvanthelix: running in %s\n", app.programFolder().c_str());
        runUntilStopped(stopSignals);
        std::fprintf(stderr, "corvanthelix: stopping\n");
        program.shutDown();
    }
    instance.release();
    if (app.restartRequested()) {
        restart(argc, argv, app.programFolder());
        return 1;
    }
    return exitCode;
}
