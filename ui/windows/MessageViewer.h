#pragma once
// Dialog 131 "View message": one stored message as plain text, either its decoded body text or
// the whole message with its headers, or, for a recycle bin message held only in part, a notice
// with a button that downloads the rest on a worker thread. Modeless; the window that owns the
// viewer keeps one at a time.
#include <QDialog>

#include <functional>
#include <string>
#include <thread>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace corvanthelix {

class MessageViewer : public QDialog {
    Q_OBJECT
public:
    static constexpr int kStringNotFullyAvailable = 250;
    static constexpr int kStringDeletedFromServer = 251;

    /// Fetches the rest of a message held in part; returns the path of the complete message
    /// file, or "" when the download failed. Runs on the viewer's worker thread.
    using Downloader = std::function<std::string()>;

    /// The window, not shown yet; the box "Show full message" starts from "ViewMessageWhole".
    explicit MessageViewer(QWidget* owner = nullptr);
    /// Waits for a running download to end.
    ~MessageViewer() override;

    /// Content mode for the message file `path`: shows, raises and loads its text. A file that
    /// cannot be read leaves the text as it was.
    void showFile(const std::string& path);
    /// Notice mode for a message held only in part: string 250 and the download button, which
    /// runs `downloader` on a worker thread and then shows the downloaded file.
    void showNotDownloaded(Downloader downloader);
    /// Notice mode for a message held only in part whose server copy is gone: string 251,
    /// without the download button.
    void showDeleted();

    /// True in content mode.
    bool contentMode() const { return contentMode_; }
    /// True while a download runs.
    bool downloading() const { return worker_.joinable(); }
    /// The shown message file; "" in notice mode.
    const std::string& path() const { return path_; }

signals:
    /// A download ended; `ok` tells whether the message is shown now.
    void downloadFinished(bool ok);

private:
    void setContentMode(bool content);
    void loadText();
    void bringToFront();
    void startDownload();
    void finishDownload(const std::string& path);

    QLabel* heading_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLabel* plainNote_ = nullptr;
    QCheckBox* whole_ = nullptr;
    QGroupBox* notice_ = nullptr;
    QLabel* noticeText_ = nullptr;
    QLabel* maybeOnServer_ = nullptr;
    QPushButton* download_ = nullptr;
    std::string path_;
    Downloader downloader_;
    std::thread worker_;
    bool contentMode_ = true;
};

} // namespace corvanthelix
