#pragma once
// What an update check needs from the desktop: its download window (two text lines, a progress
// bar, a Cancel button), questions and notices, and opening files. The check calls it from its
// worker thread; an implementation brings each call to the thread that owns the window.
#include <string>

namespace corvanthelix {

/// How a check ended; the values are the codes the main window receives.
enum class UpdateOutcome {
    done = 0,      ///< finished, also when nothing was newer or the person said no
    failed = 1,    ///< no description could be fetched, or a download failed
    cancelled = 2, ///< the person cancelled a transfer
    refused = 3,   ///< a download was refused (checksum, file name) and the person was told why
};

class UpdateView {
public:
    virtual ~UpdateView() = default;

    /// The window's two text lines.
    virtual void setLines(const std::string& first, const std::string& second) = 0;
    /// The progress bar, 0..100.
    virtual void setProgress(int percent) = 0;
    /// True once Cancel was pressed or the window was closed.
    virtual bool cancelRequested() = 0;
    /// True while the window is shown (a silent check keeps it hidden until an offer is taken).
    virtual bool windowVisible() = 0;
    virtual void showWindow() = 0;
    /// A yes/no question with the question icon, above other windows; true for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    /// A notice with the information icon.
    virtual void inform(const std::string& text) = 0;
    /// Opens a downloaded file with the desktop's handler for it.
    virtual void openFile(const std::string& path) = 0;
    /// Shows a folder in the file manager.
    virtual void showFolder(const std::string& path) = 0;
    /// The check's last call: the worker ends right after it.
    virtual void finished(UpdateOutcome outcome) = 0;
};

} // namespace corvanthelix
