#include "ui/options/TrainingAreaPage.h"

#include "base/Settings.h"
#include "filter/FilterManager.h"
#include "stores/TrainingAreaOptions.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/CompactDialog.h"
#include "ui/options/FilterPageControls.h"
#include "ui/widgets/ControlNames.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
constexpr int kMaxDigits = 9;

QLineEdit* numberField(int id, int value) {
    auto* field = withControlId(new QLineEdit(QString::number(value)), id);
    field->setMaxLength(kMaxDigits);
    field->setMaximumWidth(90);
    return field;
}
} // namespace

TrainingAreaPage::TrainingAreaPage(QWidget* parent) : OptionsPage(page::kTrainingArea, parent) {
    setObjectName(controlObjectName(page::kTrainingArea));
    using namespace pageControl;
    maxDays_ = numberField(kTrainingMaxDays, settings::trainingAreaMaxDays());
    maxMemory_ = numberField(kTrainingMaxMemory, settings::trainingAreaMaxMemory());
    premarkSpam_ = withControlId(new QCheckBox("Pre-mark spam messages as spam"), kTrainingPremarkSpam);
    premarkNonSpam_ = withControlId(new QCheckBox("Pre-mark other messages as non-spam"), kTrainingPremarkNonSpam);
    premarkAuto_ = withControlId(new QCheckBox("Pre-mark when the Training Area opens"), kTrainingPremarkAuto);
    premarkSpam_->setChecked(settings::trainingAreaPremarkSpam() == 1);
    premarkNonSpam_->setChecked(settings::trainingAreaPremarkNonSpam() == 1);
    premarkAuto_->setChecked(settings::trainingAreaPremarkAuto() == 1);
    auto* compact = withControlId(new QPushButton("Compact..."), kTrainingCompact);

    auto* storage = new QGroupBox("Messages and memory");
    auto* form = new QFormLayout(storage);
    form->addRow(new QLabel("Delete messages after (days):"), maxDays_);
    form->addRow(new QLabel("Memory of the Learning Filter (KB):"), maxMemory_);
    auto* premark = new QGroupBox("Pre-Mark");
    auto* premarkLayout = new QVBoxLayout(premark);
    for (QCheckBox* b : {premarkSpam_, premarkNonSpam_, premarkAuto_}) premarkLayout->addWidget(b);
    auto* compactGroup = new QGroupBox("Compact");
    auto* compactLayout = new QHBoxLayout(compactGroup);
    auto* compactText = new QLabel("Removes rarely seen words from the Learning Filter's memory.");
    compactText->setWordWrap(true);
    compactLayout->addWidget(compactText, 1);
    compactLayout->addWidget(compact);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(storage);
    layout->addWidget(premark);
    layout->addWidget(compactGroup);
    layout->addStretch();
    translateWindow(this);

    for (QLineEdit* field : {maxDays_, maxMemory_}) connect(field, &QLineEdit::textEdited, this, &OptionsPage::changed);
    for (QCheckBox* b : {premarkSpam_, premarkNonSpam_, premarkAuto_}) {
        connect(b, &QCheckBox::toggled, this, &TrainingAreaPage::updateEnabled);
        connect(b, &QCheckBox::toggled, this, &OptionsPage::changed);
    }
    connect(compact, &QPushButton::clicked, this, [this] {
        CompactDialog dialog(this);
        dialog.exec();
    });
    updateEnabled();
    if (settings::enable() == 0 || settings::filterLearningEnable() == 0)
        for (QWidget* w : findChildren<QWidget*>()) w->setEnabled(false);
}

void TrainingAreaPage::updateEnabled() {
    premarkAuto_->setEnabled(TrainingAreaOptions::premarkAutoAvailable(premarkSpam_->isChecked(), premarkNonSpam_->isChecked()));
}

PageStoreResult TrainingAreaPage::store() {
    if (auto days = TrainingAreaOptions::number(maxDays_->text().toStdString())) settings::setTrainingAreaMaxDays(*days);
    bool memoryChanged = false;
    if (auto memory = TrainingAreaOptions::number(maxMemory_->text().toStdString())) {
        memoryChanged = *memory != settings::trainingAreaMaxMemory();
        settings::setTrainingAreaMaxMemory(*memory);
    }
    settings::setTrainingAreaPremarkSpam(premarkSpam_->isChecked() ? 1 : 0);
    settings::setTrainingAreaPremarkNonSpam(premarkNonSpam_->isChecked() ? 1 : 0);
    settings::setTrainingAreaPremarkAuto(premarkAuto_->isChecked() ? 1 : 0);
    // Tables in use are loaded again with the new limit. The manager's lock, which a filter run
    // holds throughout, keeps the reload from pulling them away under a running check; tables
    // nobody uses are loaded with the new limit when they are next needed.
    if (memoryChanged && FilterManager::instance().acquisitions() > 0) FilterManager::instance().reload();
    return PageStoreResult::Stored;
}

} // namespace corvanthelix
