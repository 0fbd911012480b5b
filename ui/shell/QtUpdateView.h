#pragma once
// The desktop side of an update check: brings each call of the check's worker thread to the GUI
// thread, where the download window lives. Questions and notices go through the Application's
// shell, which already blocks the worker until the person has answered.
#include "update/UpdateView.h"

#include <functional>

class QObject;

namespace corvanthelix {

class DownloadWindow;

class QtUpdateView : public UpdateView {
public:
    /// `window` (not owned) must live until `onFinished` has run; `onFinished` runs on the GUI
    /// thread with the outcome, after the worker's last call.
    QtUpdateView(DownloadWindow* window, std::function<void(UpdateOutcome)> onFinished);

    void setLines(const std::string& first, const std::string& second) override;
    void setProgress(int percent) override;
    bool cancelRequested() override;
    bool windowVisible() override;
    void showWindow() override;
    bool askYesNo(const std::string& text) override;
    void inform(const std::string& text) override;
    void openFile(const std::string& path) override;
    void showFolder(const std::string& path) override;
    void finished(UpdateOutcome outcome) override;

private:
    DownloadWindow* window_;
    std::function<void(UpdateOutcome)> onFinished_;
};

} // namespace corvanthelix
