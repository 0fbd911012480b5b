#include "ui/widgets/ControlNames.h"

#include "base/Shell.h"

namespace corvanthelix {

QMessageBox::Icon messageBoxIcon(unsigned flags) {
    const unsigned icon = flags & mb::kIconMask;
    if (icon & mb::kIconInformation) return QMessageBox::Information;
    if ((icon & mb::kIconExclamation) == mb::kIconExclamation) return QMessageBox::Warning;
    if (icon & mb::kIconQuestion) return QMessageBox::Question;
    if (icon & mb::kIconStop) return QMessageBox::Critical;
    return QMessageBox::NoIcon;
}

} // namespace corvanthelix
