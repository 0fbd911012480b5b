#include "ui/windows/MessageViewer.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/HelpPages.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "ui/language/WindowTranslation.h"
#include "ui/widgets/ControlNames.h"
#include "ui/widgets/WindowEffects.h"
#include "upstream/MailMessage.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
constexpr const char* kHelpPage = "recycle.htm";
const QSize kInitialSize(620, 460);
} // namespace

MessageViewer::MessageViewer(QWidget* owner) : QDialog(owner, Qt::Window) {
    setObjectName(controlObjectName(resource::kMessageViewer));
    setWindowTitle("View message");
    heading_ = withControlId(new QLabel("This is the content of the selected message:"), control::kViewerHeading);
    text_ = withControlId(new QPlainTextEdit, control::kViewerText);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    plainNote_ = withControlId(new QLabel("Due to your security the message display is limited to plain/text."),
                               control::kViewerPlainNote);
    whole_ = withControlId(new QCheckBox("Show full message (including headers)"), control::kViewerWhole);

    notice_ = withControlId(new QGroupBox, control::kViewerNoticeFrame);
    noticeText_ = withControlId(new QLabel, control::kViewerNotice);
    noticeText_->setWordWrap(true);
    maybeOnServer_ = withControlId(new QLabel("The message may be still available on your mail-server."),
                                   control::kViewerMaybeOnServer);
    maybeOnServer_->setWordWrap(true);
    download_ = withControlId(new QPushButton("Download and view the message..."), control::kViewerDownload);
    auto* noticeLayout = new QVBoxLayout(notice_);
    noticeLayout->addWidget(noticeText_);
    noticeLayout->addWidget(maybeOnServer_);
    noticeLayout->addWidget(download_, 0, Qt::AlignLeft);
    noticeLayout->addStretch();

    auto* close = withControlId(new QPushButton("Close"), control::kCancel);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(whole_);
    bottom->addStretch();
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(text_, 1);
    layout->addWidget(plainNote_);
    layout->addWidget(notice_, 1);
    layout->addLayout(bottom);

    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(whole_, &QCheckBox::clicked, this, [this](bool checked) {
        loadText();
        settings::setViewMessageWhole(checked ? 1 : 0);
    });
    connect(download_, &QPushButton::clicked, this, &MessageViewer::startDownload);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [] {
        const std::string url =
            help::pageHelpUrl(Application::instance().resourceFolder(), kHelpPage, help::germanLanguage());
        QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
    });

    translateWindow(this);
    whole_->setChecked(settings::viewMessageWhole() != 0);
    resize(kInitialSize);
    setContentMode(true);
}

MessageViewer::~MessageViewer() {
    if (!worker_.joinable()) return;
    worker_.join();
    // The completion that would have given the cursor back is dropped with the window.
    QApplication::restoreOverrideCursor();
}

void MessageViewer::setContentMode(bool content) {
    contentMode_ = content;
    for (QWidget* widget : std::initializer_list<QWidget*>{heading_, text_, plainNote_, whole_}) widget->setVisible(content);
    notice_->setVisible(!content);
    if (content) {
        whole_->setEnabled(!path_.empty());
    } else {
        noticeText_->setText(QString::fromStdString(loadString(kStringNotFullyAvailable)));
        maybeOnServer_->show();
        download_->show();
    }
}

void MessageViewer::bringToFront() {
    if (isMinimized()) showNormal();
    if (!isVisible()) {
        if (fadingWanted()) fadeWindow(this, true);
        else show();
    }
    raise();
    activateWindow();
}

void MessageViewer::showFile(const std::string& path) {
    path_ = path;
    setContentMode(true);
    bringToFront();
    loadText();
}

void MessageViewer::showNotDownloaded(Downloader downloader) {
    path_.clear();
    downloader_ = std::move(downloader);
    setContentMode(false);
    download_->setEnabled(!downloading());
    bringToFront();
}

void MessageViewer::showDeleted() {
    path_.clear();
    downloader_ = nullptr;
    setContentMode(false);
    maybeOnServer_->hide();
    download_->hide();
    noticeText_->setText(QString::fromStdString(loadString(kStringDeletedFromServer)));
    bringToFront();
}

void MessageViewer::loadText() {
    if (path_.empty()) return;
    MailMessage message;
    if (message.loadFile(path_) != 0) return;
    const std::string text = whole_->isChecked() ? message.source() : message.bodyText(true).value_or(std::string());
    text_->setPlainText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
}

void MessageViewer::startDownload() {
    if (!downloader_ || downloading()) return;
    download_->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    worker_ = std::thread([this, downloader = downloader_] {
        const std::string path = downloader();
        // Queued to this window: dropped if the window is gone before the event loop gets to it.
        QMetaObject::invokeMethod(this, [this, path] { finishDownload(path); }, Qt::QueuedConnection);
    });
}

void MessageViewer::finishDownload(const std::string& path) {
    if (worker_.joinable()) worker_.join();
    QApplication::restoreOverrideCursor();
    download_->setEnabled(true);
    if (!path.empty()) {
        downloader_ = nullptr;
        showFile(path);
    }
    emit downloadFinished(!path.empty());
}

} // namespace corvanthelix
