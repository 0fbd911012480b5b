#include "ui/widgets/OptionalMessageBox.h"

#include "base/Settings.h"
#include "base/Shell.h"
#include "ui/widgets/ControlNames.h"
#include "ui/widgets/WindowEffects.h"
#include "ui/language/WindowTranslation.h"
#include "base/ControlIds.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {

QStyle::StandardPixmap standardPixmap(QMessageBox::Icon icon) {
    switch (icon) {
    case QMessageBox::Information: return QStyle::SP_MessageBoxInformation;
    case QMessageBox::Warning: return QStyle::SP_MessageBoxWarning;
    case QMessageBox::Question: return QStyle::SP_MessageBoxQuestion;
    case QMessageBox::Critical: return QStyle::SP_MessageBoxCritical;
    default: return QStyle::SP_CustomBase;
    }
}

int halfScreenWidth(const QWidget* widget) {
    const QScreen* screen = widget->screen();
    return screen ? screen->availableGeometry().width() / 2 : 400;
}

} // namespace

int OptionalMessageBox::ask(QWidget* owner, const QString& text, const QString& caption, unsigned flags,
                            const std::string& settingName, int defaultAnswer, const std::string& settingsFile) {
    if (settings::optionalMessageBoxSilenced(settingName, settingsFile) != 0) return defaultAnswer;
    OptionalMessageBox box(owner, text, caption, flags, settingName, settingsFile);
    const int result = box.exec();
    return result == answer::kOk || result == answer::kYes || result == answer::kNo ? result : defaultAnswer;
}

OptionalMessageBox::OptionalMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags,
                                       std::string settingName, std::string settingsFile)
    : QDialog(owner), settingName_(std::move(settingName)), settingsFile_(std::move(settingsFile)) {
    setObjectName(controlObjectName(resource::kOptionalMessageBox));
    const bool yesNo = (flags & mb::kTypeMask) == mb::kYesNo;
    // A yes/no question offers no way out but its two buttons.
    Qt::WindowFlags windowFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (!yesNo) windowFlags |= Qt::WindowCloseButtonHint;
    setWindowFlags(windowFlags);
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setObjectName(controlObjectName(control::kOptionalIcon));
    if (QStyle::StandardPixmap picture = standardPixmap(messageBoxIcon(flags)); picture != QStyle::SP_CustomBase)
        icon->setPixmap(style()->standardIcon(picture, nullptr, this).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* label = new QLabel(this);
    label->setObjectName(controlObjectName(control::kOptionalText));
    label->setTextFormat(Qt::PlainText);

    dontShowAgain_ = new QCheckBox("&Don't show this message again", this);
    dontShowAgain_->setObjectName(controlObjectName(control::kOptionalDontShowAgain));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto addButton = [&](const char* title, int id) {
        auto* button = new QPushButton(title, this);
        button->setObjectName(controlObjectName(id));
        connect(button, &QPushButton::clicked, this, [this, id] { answer(id); });
        buttons->addWidget(button);
        return button;
    };
    if (yesNo) {
        addButton("&Yes", control::kYes)->setDefault(true);
        addButton("&No", control::kNo);
    } else {
        addButton("OK", control::kOk)->setDefault(true);
    }
    buttons->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(label, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(dontShowAgain_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    translateWindow(this);
    setWindowTitle(caption);
    label->setText(wrapText(text, label->fontMetrics(), halfScreenWidth(this)).join('\n'));
}

QStringList OptionalMessageBox::wrapText(const QString& text, const QFontMetrics& metrics, int maxWidth) {
    QStringList lines;
    for (const QString& paragraph : text.split('\n')) {
        QString line;
        for (const QString& word : paragraph.split(' ', Qt::SkipEmptyParts)) {
            QString candidate = line.isEmpty() ? word : line + ' ' + word;
            if (!line.isEmpty() && metrics.horizontalAdvance(candidate) > maxWidth) {
                lines << line;
                line = word;
            } else {
                line = candidate;
            }
        }
        lines << line;
    }
    return lines;
}

void OptionalMessageBox::answer(int id) {
    if (answered_) return;
    answered_ = true;
    if (dontShowAgain_->isChecked()) settings::setOptionalMessageBox(settingName_, 1, settingsFile_);
    done(id);
}

void OptionalMessageBox::closeEvent(QCloseEvent* event) { event->ignore(); }

void OptionalMessageBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void OptionalMessageBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (fadingWanted()) fadeWindow(this, true);
}

} // namespace corvanthelix
