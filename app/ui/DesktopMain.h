#pragma once
// The program's run with a desktop: the Qt event loop with the tray icon, status window and
// dialogs around the same start-up and shutdown as the headless run.
#include <csignal>
#include <string>

namespace corvanthelix {

class SingleInstance;

/// True when a display to open windows on is named (DISPLAY, WAYLAND_DISPLAY or a Qt platform
/// chosen through QT_QPA_PLATFORM).
bool desktopAvailable();

/// Runs the program with the desktop shell until the person exits it, `stopSignals` arrives or a
/// restart is asked for; returns the exit code. The caller has set the program folder, holds the
/// single-instance claim `instance` (which gets its "show the tray icon" listener here) and has
/// blocked `stopSignals` in every thread. "/wizard" and "/firstrun" among the arguments are
/// honoured.
int runDesktop(int& argc, char** argv, const sigset_t& stopSignals, SingleInstance& instance);

/// Shows `text` in a message box with a stop icon, captioned with the program's name, and returns
/// when the person closes it. For faults that end the program before the tray icon exists.
void showDesktopError(int& argc, char** argv, const std::string& text);

} // namespace corvanthelix
