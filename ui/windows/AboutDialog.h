#pragma once
// The about dialog (dialog 105): picture, version, title, the web site, the OpenSSL
// acknowledgement and a Disclaimer button with the OpenSSL notice. Modeless; one at a time.
#include <QDialog>

#include <string>

namespace corvanthelix {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    /// Built with the picture from `programFolder`; deletes itself when closed.
    explicit AboutDialog(const std::string& programFolder, QWidget* owner = nullptr);

    /// Shows the read-only text dialog with the OpenSSL notice (titled with string 234, headed by
    /// string 236), modal to this dialog.
    void showDisclaimer();

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace corvanthelix
