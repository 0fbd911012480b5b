#pragma once
// Dialog 155 "Add multiple senders": asks once before many senders go into a list, with the box
// that silences the warnings about senders listed already. Also the flow the recycle bin and
// training area windows use to add the senders of their messages.
#include "filter/SenderLists.h"

#include <QDialog>

#include <vector>

class QCheckBox;

namespace corvanthelix {

class MultipleSendersDialog : public QDialog {
    Q_OBJECT
public:
    /// The question for `count` senders going to `list`; the box is ticked when
    /// "InsertMultipleSendersShowErrors" is 0. Not shown yet.
    MultipleSendersDialog(QWidget* owner, int count, int list);
    /// True when the box "Do not warn me..." is ticked.
    bool noWarnings() const;

    /// Adds `senders` (their list set) to `lists`: fewer than five one by one through the sender
    /// dialog; from five on after this dialog's Yes, without dialogs, warning about listed or
    /// refused senders only when wanted, and then telling how many were added (string 240).
    /// Returns the number added.
    static int addSenders(QWidget* owner, const std::vector<SenderEntry>& senders, int list, const SenderLists& lists);

private:
    QCheckBox* noWarnings_ = nullptr;
};

} // namespace corvanthelix
