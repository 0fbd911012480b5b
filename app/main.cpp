// Entry of the Corvanthelix program.
#include "base/Application.h"
#include "app/BackupCommand.h"
#include "app/HeadlessShell.h"
#include "app/Program.h"
#include "app/ProgramShell.h"
#include "app/SingleInstance.h"
#include "app/TrustServerCommand.h"
#ifdef CORVANTHELIX_WITH_QT
#include "app/ui/DesktopMain.h"
#endif
#include "base/TranslatedFormat.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

using namespace corvanthelix;

namespace {

constexpr int kStringFolderNotWritable = 291;

struct Options {
    bool version = false;
    bool headless = false;
    bool help = false;
    std::string home;
    std::string trustServer; // HOST:PORT of --trust-server
    std::string error;
    std::string exportBackup;
    std::string importBackup;
    std::optional<BackupParts> backupParts;
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
        else if (arg == "--export-backup" || arg == "--import-backup" || arg == "--backup-parts") {
            if (i + 1 >= argc) {
                options.error = arg + " needs a value";
                continue;
            }
            std::string value = argv[++i];
            if (arg == "--export-backup") options.exportBackup = value;
            else if (arg == "--import-backup") options.importBackup = value;
            else if (!(options.backupParts = Backup::parseParts(value)))
                options.error = "--backup-parts takes ini,spamwords,memory,recycle,training";
        } else if (arg == "--trust-server") {
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

// A restart runs the same program on the same folders, without the desktop's one-time switches.
// The data folder is passed on only when it was given: otherwise the new process decides the same
// layout from the same executable and environment, whereas a --home would turn a read-only program
// folder's separate data folder into a portable folder without resources.
void restart(int argc, char** argv, const std::string& givenHome) {
    std::vector<std::string> arguments{argv[0]};
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0) arguments.emplace_back(argv[i]);
    if (!givenHome.empty()) {
        arguments.emplace_back("--home");
        arguments.push_back(givenHome);
    }
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    sigset_t none;
    sigemptyset(&none);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);
    ::execv("/proc/self/exe", pointers.data());
    std::perror("corvanthelix: restart failed");
}

// The lock file cannot be made: the folder is read-only or not ours. Said on standard error and,
// with a desktop, in a box, since a program started from a menu has no terminal to read.
void reportUnwritableFolder(int& argc, char** argv, bool headless, const std::string& folder) {
    const std::string text = TranslatedFormat::byId(kStringFolderNotWritable, folder.c_str());
    std::fprintf(stderr, "corvanthelix: %s\n", text.c_str());
#ifdef CORVANTHELIX_WITH_QT
    if (!headless && desktopAvailable()) showDesktopError(argc, argv, text);
#else
    (void)argc;
    (void)argv;
    (void)headless;
#endif
}

} // namespace

int main(int argc, char** argv) {
    Options options = parseOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "corvanthelix: %s (try --help)\n", options.error.c_str());
        return 2;
    }
    if (!options.exportBackup.empty() && !options.importBackup.empty()) {
        std::fprintf(stderr, "corvanthelix: --export-backup and --import-backup exclude each other\n");
        return 2;
    }
    if (options.backupParts && options.exportBackup.empty() && options.importBackup.empty()) {
        std::fprintf(stderr, "corvanthelix: --backup-parts needs --export-backup or --import-backup\n");
        return 2;
    }
    if (options.help) {
        std::printf("usage: corvanthelix [--headless] [--home DIR] [--version]\n"
                    "       corvanthelix [--home DIR] --export-backup FILE | --import-backup FILE\n"
                    "                    [--backup-parts ini,spamwords,memory,recycle,training]\n"
                    "       corvanthelix [--home DIR] --trust-server HOST:PORT\n");
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", Application::kName, Application::kVersion);
        return 0;
    }
    Application& app = Application::instance();
    const ProgramPaths::Environment environment = ProgramPaths::currentEnvironment(options.home, argv[0]);
    const ProgramPaths paths = ProgramPaths::decide(environment);
    // As absolute as the layout saw it, since the restarted process may run elsewhere.
    const std::string homeForRestart = options.home.empty() ? std::string() : paths.dataFolder();
    if (!app.setPaths(paths)) {
        std::fprintf(stderr, "corvanthelix: cannot use the data folder %s\n", paths.dataFolder().c_str());
        return 1;
    }

    if (!options.trustServer.empty()) return TrustServerCommand::run(options.trustServer, stdin, stdout);

    // One program per program folder: a second start asks the running one to show its tray icon.
    SingleInstance instance(app.programFolder());
    SingleInstance::Claim claim = instance.claim();
    const bool backupCommand = !options.exportBackup.empty() || !options.importBackup.empty();
    if (backupCommand) {
        // The running program holds the stores in memory and would write over an import.
        if (claim != SingleInstance::Claim::First) {
            std::fprintf(stderr, "corvanthelix: backup failed: the program runs in %s; exit it first\n",
                         app.programFolder().c_str());
            return 1;
        }
        const bool exporting = !options.exportBackup.empty();
        const int code = BackupCommand::run(
            exporting ? BackupCommand::Direction::Export : BackupCommand::Direction::Import,
            exporting ? options.exportBackup : options.importBackup,
            options.backupParts.value_or(BackupCommand::defaultParts()), app.programFolder());
        instance.release();
        return code;
    }
    if (claim != SingleInstance::Claim::First) {
        if (claim == SingleInstance::Claim::Failed) {
            reportUnwritableFolder(argc, argv, options.headless, app.programFolder());
            return 1;
        }
        if (SingleInstance::askToShowTrayIcon(app.programFolder()))
            std::fprintf(stderr, "corvanthelix: already running; asked it to show its tray icon\n");
        else
            std::fprintf(stderr, "corvanthelix: already running, but it does not answer\n");
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
            restart(argc, argv, homeForRestart);
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
        restart(argc, argv, homeForRestart);
        return 1;
    }
    return exitCode;
}
