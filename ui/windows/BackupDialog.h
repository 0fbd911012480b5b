#pragma once
// The backup dialog (dialog 140): one file, five check boxes for the parts, a progress bar, OK and
// Cancel. In export mode OK writes the chosen parts to the file; in import mode it asks first,
// listing what the checked parts will overwrite, then replaces them (see stores/Backup.h) and,
// once the person closes the dialog, has the program restart so that the stores read what was
// imported.
#include "stores/Backup.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace corvanthelix {

class BackupDialog : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Export, Import };

    // String-table texts it shows.
    static constexpr int kStringRestart = 113;
    static constexpr int kStringClose = 121;
    static constexpr int kStringImportTitle = 188;
    static constexpr int kStringExportTitle = 189;
    static constexpr int kStringImportQuestion = 190;
    static constexpr int kStringFailed = 196;

    /// What the running program does around the operations; every member may be empty.
    struct Hooks {
        /// Before the recycle folder is read by an export (the bin folds its journal).
        std::function<void()> beforeRecycleRead;
        /// After an import has staged everything, before it replaces the first store: the program
        /// lets go of the stores it holds in memory.
        std::function<void()> beforeReplace;
        /// After beforeReplace() when the import could not replace the stores after all (they are
        /// back as they were): the program takes them up again.
        std::function<void()> replaceFailed;
        /// After a successful import, when the dialog is closed: the program restarts.
        std::function<void()> restart;
    };

    /// A dialog for `mode` on the program folder `programFolder`; the check boxes show the
    /// choices saved in section BACKUP. Deletes itself when closed.
    BackupDialog(Mode mode, std::string programFolder, Hooks hooks, QWidget* owner = nullptr);

    /// The question asked before an import for the given parts: string 190 and, for each
    /// checked part in the order settings, spam words, memory, recycle bin, training area, a
    /// line break and its warning.
    static QString importQuestion(const BackupParts& parts);

    /// The parts the check boxes choose.
    BackupParts checkedParts() const;
    /// True once an operation succeeded (OK then reads "Close" and closes the dialog).
    bool succeeded() const { return succeeded_; }

    /// OK: saves the check boxes; without a file name runs the file dialog first; then runs the
    /// export or import. A second OK after success closes the dialog.
    void accept() override;

protected:
    void done(int result) override;

private:
    void browse();
    bool run();
    void setBusy(bool busy);

    Mode mode_;
    std::string programFolder_;
    Hooks hooks_;
    QLineEdit* fileName_;
    QPushButton* browse_;
    QCheckBox* ini_;
    QCheckBox* spamWords_;
    QCheckBox* recycleBin_;
    QCheckBox* training_;
    QCheckBox* memory_;
    QProgressBar* progress_;
    QPushButton* ok_;
    QPushButton* cancel_;
    bool succeeded_ = false;
    bool imported_ = false;
};

} // namespace corvanthelix
