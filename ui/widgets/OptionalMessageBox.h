#pragma once
// The message box the person can silence for good (dialog 137): a question or notice with a
// "Don't show this message again" box whose state lives in section OPTIONALMESSAGEBOXES.
#include <QDialog>
#include <QString>
#include <QStringList>

#include <string>

class QCheckBox;
class QFontMetrics;

namespace corvanthelix {

class OptionalMessageBox : public QDialog {
    Q_OBJECT
public:
    /// Asks the question unless the key `settingName` of OPTIONALMESSAGEBOXES in `settingsFile` is
    /// non-zero, in which case `defaultAnswer` comes back at once. Otherwise shows the box modally
    /// and returns the id of the button that closed it (answer::kOk, kYes or kNo), storing "1"
    /// under `settingName` first when the box was ticked; `defaultAnswer` when the box ended
    /// without a button (the program quit under it). `flags` are message box flags (mb::...):
    /// the yes/no type gives Yes and No, every other type OK alone.
    static int ask(QWidget* owner, const QString& text, const QString& caption, unsigned flags,
                   const std::string& settingName, int defaultAnswer, const std::string& settingsFile);

    /// The box, not yet shown. `owner` may be null.
    OptionalMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags,
                       std::string settingName, std::string settingsFile);

    /// `text` broken into lines no wider than `maxWidth` as measured by `metrics`: words are
    /// separated by blanks or line feeds, a line feed always starts a new line, and a single word
    /// wider than `maxWidth` stands on a line of its own.
    static QStringList wrapText(const QString& text, const QFontMetrics& metrics, int maxWidth);

protected:
    /// The close box, the window's close command and Escape do nothing: only a button ends it.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override {}
    void showEvent(QShowEvent* event) override;

private:
    void answer(int id);
    QCheckBox* dontShowAgain_ = nullptr;
    std::string settingName_;
    std::string settingsFile_;
    bool answered_ = false;
};

} // namespace corvanthelix
