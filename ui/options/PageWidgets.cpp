#include "ui/options/PageWidgets.h"

#include "base/Application.h"
#include "base/Shell.h"

namespace corvanthelix::pagewidgets {

void watchPortBox(QCheckBox* box, QLineEdit* portField) {
    portField->setEnabled(box->isChecked());
    QObject::connect(box, &QCheckBox::clicked, box, [box, portField](bool checked) {
        if (!checked) {
            const int answer = Application::instance().showMessage(kStringDisablePort, mb::kYesNo | mb::kIconExclamation);
            if (answer != answer::kYes) box->setChecked(true);
        }
        portField->setEnabled(box->isChecked());
    });
}

} // namespace corvanthelix::pagewidgets
