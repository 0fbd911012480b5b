#include "ui/options/TrayAreaPage.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/OptionsPageValues.h"
#include "base/ParentalControl.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "base/StringTable.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/PageWidgets.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace corvanthelix {

using namespace pagewidgets;

namespace {
const QChar kPlaceholderCharacter(static_cast<unsigned char>(ParentalControl::kPlaceholderByte));

QLineEdit* passwordField(OptionsPage* page, int id, int length) {
    QLineEdit* field = edit(page, id, "", static_cast<int>(ParentalControl::kMaxPasswordLength));
    field->setEchoMode(QLineEdit::Password);
    field->setText(QString(length, kPlaceholderCharacter));
    return field;
}
} // namespace

std::string TrayAreaPage::fieldBytes(const QLineEdit* field) {
    const QString text = field->text();
    if (!text.isEmpty() && text.count(kPlaceholderCharacter) == text.size())
        return std::string(static_cast<size_t>(text.size()), ParentalControl::kPlaceholderByte);
    return text.toStdString();
}

TrayAreaPage::TrayAreaPage(QWidget* parent) : OptionsPage(kPageId, parent) {
    const std::string& file = settings::settingsFile();
    const TrayAreaOptions options = TrayAreaOptions::load(file);

    auto* trayGroup = new QGroupBox("Tray Icon", this);
    seconds_ = edit(this, control::kTraySeconds, options.numberSeconds, kMaxNumberText);
    seconds_->setFixedWidth(60);
    doubleClick_ = withControlId(new QComboBox(this), control::kTrayDoubleClick);
    auto* secondsRow = new QHBoxLayout;
    secondsRow->addWidget(new QLabel("Show the number of spam messages for", this));
    secondsRow->addWidget(seconds_);
    secondsRow->addWidget(new QLabel("seconds", this));
    secondsRow->addStretch();
    auto* doubleClickRow = new QHBoxLayout;
    doubleClickRow->addWidget(new QLabel("Double-clicking the tray icon opens:", this));
    doubleClickRow->addWidget(doubleClick_, 1);
    auto* trayLayout = new QVBoxLayout(trayGroup);
    trayLayout->addLayout(secondsRow);
    trayLayout->addWidget(new QLabel("(-1 keeps the number until the next mail check)", this));
    trayLayout->addLayout(doubleClickRow);

    auto* lockGroup = new QGroupBox("Parental Control", this);
    const bool locked = settings::parentalControlEnabled(file) == 1;
    lock_ = checkBox(this, control::kParentalEnable, "Enable Parental Control", locked);
    const int stored = static_cast<int>(ParentalControl::placeholderText(settings::parentalControlHash2(file)).size());
    password_ = passwordField(this, control::kParentalPassword, stored);
    confirm_ = passwordField(this, control::kParentalConfirm, stored);
    password_->setEnabled(locked);
    confirm_->setEnabled(locked);
    connect(lock_, &QCheckBox::toggled, password_, &QWidget::setEnabled);
    connect(lock_, &QCheckBox::toggled, confirm_, &QWidget::setEnabled);
    auto* fields = new QFormLayout;
    fields->addRow(new QLabel("Password:", this), password_);
    fields->addRow(new QLabel("Confirm password:", this), confirm_);
    auto* lockLayout = new QVBoxLayout(lockGroup);
    lockLayout->addWidget(new QLabel("Every command of the tray icon asks for this password.", this));
    lockLayout->addWidget(lock_);
    lockLayout->addLayout(fields);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(trayGroup);
    layout->addWidget(lockGroup);
    layout->addStretch();
    translateWindow(this);

    // Filled after the translation: these texts come translated from the string table.
    for (int title : TrayAreaOptions::kDoubleClickTitles) doubleClick_->addItem(QString::fromStdString(loadString(title)));
    doubleClick_->setCurrentIndex(options.doubleClickIndex);
    connect(doubleClick_, qOverload<int>(&QComboBox::currentIndexChanged), this, &OptionsPage::changed);
}

PageStoreResult TrayAreaPage::store() {
    const std::string& file = settings::settingsFile();
    switch (ParentalControl::storeLock(lock_->isChecked(), fieldBytes(password_), fieldBytes(confirm_), file)) {
    case LockStoreOutcome::RefusedEmpty:
        Application::instance().showMessage(ParentalControl::kStringEmpty, mb::kOk | mb::kIconExclamation);
        password_->setFocus();
        return PageStoreResult::Refused;
    case LockStoreOutcome::RefusedMismatch:
        Application::instance().showMessage(ParentalControl::kStringMismatch, mb::kOk | mb::kIconExclamation);
        password_->setFocus();
        return PageStoreResult::Refused;
    default: break;
    }
    TrayAreaOptions options;
    options.numberSeconds = text(seconds_);
    options.doubleClickIndex = doubleClick_->currentIndex();
    options.store(file);
    return PageStoreResult::Stored;
}

} // namespace corvanthelix
