// Entry of the Corvanthelix program.
#include "app/Application.h"
#include "app/HeadlessShell.h"
#include "app/ProgramLanguage.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace corvanthelix;

namespace {

struct Options {
    bool version = false;
    bool headless = false;
    bool help = false;
    std::string home;
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
        else if (arg == "/wizard" || arg == "/firstrun") { /* desktop switches, handled by the shell */ }
        else options.error = "unknown option " + arg;
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    Options options = parseOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "corvanthelix: %s (try --help)\n", options.error.c_str());
        return 2;
    }
    if (options.help) {
        std::printf("usage: corvanthelix [--headless] [--home DIR] [--version]\n");
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
    // Every text shown by number passes through the language chosen in the settings.
    installProgramTranslation();
    loadProgramLanguage(app.programFolder(), app.settingsPath(), userLanguageId());
    HeadlessShell headless;
    app.setShell(&headless);
    std::fprintf(stderr, "corvanthelix: program folder %s\n", app.programFolder().c_str());
    app.setShell(nullptr);
    return 0;
}
