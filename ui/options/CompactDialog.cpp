#include "ui/options/CompactDialog.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/Shell.h"
#include "base/TranslatedFormat.h"
#include "filter/FilterManager.h"
#include "ui/language/WindowTranslation.h"
#include "ui/widgets/ControlNames.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
constexpr int kDialogId = 156;
constexpr int kBadBox = 1154;
constexpr int kGoodBox = 1155;
constexpr int kBadThreshold = 1156;
constexpr int kGoodThreshold = 1157;

QSpinBox* thresholdBox(int id) {
    auto* box = withControlId(new QSpinBox, id);
    box->setRange(1, 1000);
    box->setValue(1);
    return box;
}
} // namespace

CompactDialog::CompactDialog(QWidget* owner) : QDialog(owner) {
    setObjectName(controlObjectName(kDialogId));
    setWindowTitle("Compact the Learning Filter's memory");
    bad_ = withControlId(new QCheckBox("Spam word list"), kBadBox);
    good_ = withControlId(new QCheckBox("Non-spam word list"), kGoodBox);
    bad_->setChecked(true);
    good_->setChecked(true);
    badThreshold_ = thresholdBox(kBadThreshold);
    goodThreshold_ = thresholdBox(kGoodThreshold);
    auto* text = new QLabel("Words that were seen only rarely say little about a message. Remove the words seen at most "
                            "this many times:");
    text->setWordWrap(true);
    auto* grid = new QGridLayout;
    grid->addWidget(bad_, 0, 0);
    grid->addWidget(badThreshold_, 0, 1);
    grid->addWidget(good_, 1, 0);
    grid->addWidget(goodThreshold_, 1, 1);
    auto* buttons = new QDialogButtonBox;
    withControlId(buttons->addButton("OK", QDialogButtonBox::AcceptRole), control::kOk)->setDefault(true);
    withControlId(buttons->addButton("Cancel", QDialogButtonBox::RejectRole), control::kCancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CompactDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(bad_, &QCheckBox::toggled, badThreshold_, &QWidget::setEnabled);
    connect(good_, &QCheckBox::toggled, goodThreshold_, &QWidget::setEnabled);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    setMinimumWidth(380);
    translateWindow(this);
}

void CompactDialog::accept() {
    if (Application::instance().showMessage(kStringQuestion, mb::kYesNo | mb::kIconQuestion) != answer::kYes) return;
    const LearningFilter::CompactResult result =
        FilterManager::instance().compact(bad_->isChecked(), good_->isChecked(), static_cast<uint32_t>(badThreshold_->value()),
                                          static_cast<uint32_t>(goodThreshold_->value()));
    Application::instance().showMessageText(
        TranslatedFormat::byId(kStringDone, static_cast<int>(result.wordsDeleted), result.bytesReleased / 1024.0),
        mb::kOk | mb::kIconInformation);
    QDialog::accept();
}

} // namespace corvanthelix
