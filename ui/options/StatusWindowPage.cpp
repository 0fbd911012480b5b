#include "ui/options/StatusWindowPage.h"

#include "base/ControlIds.h"
#include "base/OptionsPageValues.h"
#include "base/Settings.h"
#include "base/TranslatedFormat.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/PageWidgets.h"

#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

namespace corvanthelix {

using namespace pagewidgets;

StatusWindowPage::StatusWindowPage(QWidget* parent) : OptionsPage(kPageId, parent) {
    const StatusWindowOptions options = StatusWindowOptions::load(settings::settingsFile());
    auto* group = new QGroupBox("Status Window", this);
    showBubble_ = checkBox(this, control::kStatusShowBubble, "Show the status window during mail checks", options.showBubble);
    easyMove_ = checkBox(this, control::kStatusEasyMove, "Move the status window by dragging it anywhere", options.easyMove);
    savePosition_ = checkBox(this, control::kStatusSavePosition, "Remember the position of the status window",
                             options.savePosition);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(showBubble_);
    groupLayout->addWidget(easyMove_);
    groupLayout->addWidget(savePosition_);

    auto* look = new QGroupBox("Transparency", this);
    opacity_ = withControlId(new QSlider(Qt::Horizontal, this), control::kStatusOpacity);
    opacity_->setRange(0, 100);
    opacity_->setPageStep(10);
    opacity_->setValue(options.opacity);
    opacityText_ = withControlId(new QLabel(this), control::kStatusOpacityText);
    auto* lookLayout = new QVBoxLayout(look);
    lookLayout->addWidget(opacity_);
    lookLayout->addWidget(opacityText_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);
    layout->addWidget(look);
    layout->addStretch();
    translateWindow(this);

    // The label follows the slider however it is moved; the first reading is the loaded value.
    watchSlider();
    watch_.setInterval(kWatchMilliseconds);
    connect(&watch_, &QTimer::timeout, this, &StatusWindowPage::watchSlider);
    watch_.start();
}

void StatusWindowPage::watchSlider() {
    const int value = opacity_->value();
    if (value == shownOpacity_) return;
    const bool first = shownOpacity_ < 0;
    shownOpacity_ = value;
    opacityText_->setText(QString::fromStdString(TranslatedFormat::byId(kStringOpacity, value)));
    if (!first) emit changed();
}

PageStoreResult StatusWindowPage::store() {
    StatusWindowOptions options;
    options.showBubble = showBubble_->isChecked();
    options.easyMove = easyMove_->isChecked();
    options.savePosition = savePosition_->isChecked();
    options.opacity = opacity_->value();
    options.store(settings::settingsFile());
    return PageStoreResult::Stored;
}

} // namespace corvanthelix
