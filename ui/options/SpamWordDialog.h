#pragma once
// Dialog 4012 "Add new expression": one spam word and its probability; titled "Edit expression"
// when an existing expression is edited, which then cannot be changed.
#include "filter/SpamWordList.h"

#include <QDialog>

class QLineEdit;

namespace corvanthelix {

class SpamWordDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 4012;
    static constexpr int kWordField = 1079;
    static constexpr int kPercentField = 1080;

    /// The dialog over `list` prefilled with `row`; editing when `editing`. Not shown yet.
    SpamWordDialog(QWidget* owner, const SpamWordList& list, const SpamWordRow& row, bool editing);
    /// The expression and probability entered (valid after the dialog was accepted).
    SpamWordRow row() const;

public slots:
    /// OK: refuses with a warning (strings 112, 154, 156) while the fields are not valid,
    /// otherwise writes the expression to the user's file and closes.
    void accept() override;

private:
    const SpamWordList& list_;
    bool editing_;
    QLineEdit* word_ = nullptr;
    QLineEdit* percent_ = nullptr;
};

} // namespace corvanthelix
