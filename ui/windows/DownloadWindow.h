#pragma once
// The update check's download window (dialog 127, "Downloading..."): two text lines, a progress
// bar from 0 to 100 and a Cancel button. A silent check keeps it hidden until the person takes an
// offer. Cancel or closing the window sets the cancel flag, which the check's worker reads at its
// next chunk; the window stays until the main window destroys it when the check has ended.
#include <QWidget>

#include <atomic>

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvanthelix {

class DownloadWindow : public QWidget {
    Q_OBJECT
public:
    /// Made hidden, the progress at 0 and both lines empty; translated.
    explicit DownloadWindow(QWidget* owner = nullptr);

    void setLines(const QString& first, const QString& second);
    /// Clamped to 0..100.
    void setProgress(int percent);
    int progress() const;

    /// True once Cancel was pressed or the window was closed. Safe from any thread.
    bool cancelRequested() const { return cancelled_; }
    /// True while shown. Safe from any thread.
    bool shownNow() const { return shown_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QLabel* firstLine_ = nullptr;
    QLabel* secondLine_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> shown_{false};
};

} // namespace corvanthelix
