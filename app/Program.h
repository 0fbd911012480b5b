#pragma once
// The program's life between the entry and the event loop: the start-up steps that need no
// window, in their fixed order, and the shutdown that destroys the long-lived objects in theirs.
// The desktop and the headless program both run it; only the shell differs.
#include <string>

namespace corvanthelix {

class Shell;

class Program {
public:
    /// Uses the Application's program folder and installs `shell` as the Application's shell for
    /// the program's life (it must outlive shutDown()).
    explicit Program(Shell& shell);
    /// shutDown().
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    /// In this order: the proxy server object, the language (and the string-table translation),
    /// the tray's tooltip, the recycle bin (its index rebuilt from the files when missing), the
    /// old spam-word files converted, the plug-ins loaded and their language files added, the
    /// training area (so plug-ins can learn), the filter manager with its data, the client
    /// session installed, the proxy server started, the tray's spam counter. Returns false when
    /// the proxy server could not start (no certificate, key or TLS context); the program then
    /// still runs its shutdown.
    bool startUp();

    /// Stops the proxy server (ending every session), then destroys the training area, the
    /// recycle bin (folding its journal into the index), the filter manager, the filter chain,
    /// the plug-in manager (unloading the plug-ins) and the proxy server. Any number of times.
    void shutDown();

    /// The text kept from start-up for a crash report (string 137).
    const std::string& crashText() const { return crashText_; }

private:
    Shell& shell_;
    std::string crashText_;
    bool started_ = false;
    bool filtersHeld_ = false;
};

} // namespace corvanthelix
