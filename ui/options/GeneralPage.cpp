#include "ui/options/GeneralPage.h"

#include "base/Application.h"
#include "base/AutostartEntry.h"
#include "base/ControlIds.h"
#include "base/OptionsPageValues.h"
#include "base/Settings.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/OptionsDialog.h"
#include "ui/options/PageWidgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix {

using namespace pagewidgets;

namespace {
QLineEdit* numberField(QLineEdit* field) {
    field->setFixedWidth(60);
    return field;
}
} // namespace

GeneralPage::GeneralPage(QWidget* parent) : OptionsPage(kPageId, parent) {
    const std::string& file = settings::settingsFile();
    const GeneralOptions options = GeneralOptions::load(file);

    auto* startGroup = new QGroupBox("Program", this);
    autostart_ = checkBox(this, control::kGeneralAutostart, "Launch Corvanthelix when I log in",
                          AutostartEntry::present(AutostartEntry::path()));
    alphaBlending_ = checkBox(this, control::kGeneralAlphaBlending, "Fade windows in and out (alpha blending)",
                              options.alphaBlending);
    keepSpam_ = checkBox(this, control::kGeneralKeepSpam, "Keep spam messages on the server", options.keepSpamMails);
    auto* startLayout = new QVBoxLayout(startGroup);
    startLayout->addWidget(autostart_);
    startLayout->addWidget(alphaBlending_);
    startLayout->addWidget(keepSpam_);

    auto* updateGroup = new QGroupBox("Updates", this);
    autoUpdate_ = checkBox(this, control::kGeneralAutoUpdate, "Automatically check for updates",
                           options.autoCheckForUpdates);
    updateDays_ = numberField(edit(this, control::kGeneralUpdateDays, options.updateDays, kMaxNumberText));
    updateDays_->setEnabled(options.autoCheckForUpdates);
    connect(autoUpdate_, &QCheckBox::toggled, updateDays_, &QWidget::setEnabled);
    auto* checkNow = withControlId(new QPushButton("Check now!", this), command::kUpdateCheck);
    connect(checkNow, &QPushButton::clicked, this, [] {
        if (OptionsDialog::hooks().checkForUpdates) OptionsDialog::hooks().checkForUpdates();
    });
    auto* updateLayout = new QGridLayout(updateGroup);
    updateLayout->addWidget(autoUpdate_, 0, 0, 1, 3);
    updateLayout->addWidget(new QLabel("Check every", this), 1, 0);
    updateLayout->addWidget(updateDays_, 1, 1);
    updateLayout->addWidget(new QLabel("days", this), 1, 2);
    updateLayout->addWidget(checkNow, 1, 4);
    updateLayout->setColumnStretch(3, 1);

    auto* binGroup = new QGroupBox("Recycle Bin", this);
    recycleDays_ = numberField(edit(this, control::kGeneralRecycleBinDays, options.recycleBinDays, kMaxNumberText));
    auto* binLayout = new QHBoxLayout(binGroup);
    binLayout->addWidget(new QLabel("Delete messages in the Recycle Bin after", this));
    binLayout->addWidget(recycleDays_);
    binLayout->addWidget(new QLabel("days", this));
    binLayout->addStretch();

    auto* backupGroup = new QGroupBox("Backup", this);
    auto* exportButton = withControlId(new QPushButton("Export...", this), control::kGeneralExport);
    auto* importButton = withControlId(new QPushButton("Import...", this), control::kGeneralImport);
    connect(exportButton, &QPushButton::clicked, this, [] {
        if (OptionsDialog::hooks().openBackup) OptionsDialog::hooks().openBackup(false);
    });
    connect(importButton, &QPushButton::clicked, this, [] {
        if (OptionsDialog::hooks().openBackup) OptionsDialog::hooks().openBackup(true);
    });
    auto* backupLayout = new QHBoxLayout(backupGroup);
    backupLayout->addWidget(new QLabel("Settings, spam words and messages:", this));
    backupLayout->addStretch();
    backupLayout->addWidget(exportButton);
    backupLayout->addWidget(importButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(startGroup);
    layout->addWidget(updateGroup);
    layout->addWidget(binGroup);
    layout->addWidget(backupGroup);
    layout->addStretch();
    translateWindow(this);
}

PageStoreResult GeneralPage::store() {
    GeneralOptions options;
    options.alphaBlending = alphaBlending_->isChecked();
    options.autoCheckForUpdates = autoUpdate_->isChecked();
    options.updateDays = text(updateDays_);
    options.recycleBinDays = text(recycleDays_);
    options.keepSpamMails = keepSpam_->isChecked();
    options.store(settings::settingsFile());

    const std::string entry = AutostartEntry::path();
    if (autostart_->isChecked()) {
        if (!AutostartEntry::present(entry)) {
            Application& app = Application::instance();
            const ProgramPaths::Environment environment = ProgramPaths::currentEnvironment("", nullptr);
            AutostartEntry::install(entry, AutostartEntry::runningExecutable(),
                                    AutostartEntry::homeArgument(app.paths(), environment));
        }
    } else {
        AutostartEntry::remove(entry);
    }
    return PageStoreResult::Stored;
}

} // namespace corvanthelix
