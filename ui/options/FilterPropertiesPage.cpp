#include "ui/options/FilterPropertiesPage.h"

#include "base/Settings.h"
#include "filter/FilterChain.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterPageControls.h"
#include "ui/widgets/ControlNames.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
QCheckBox* box(const char* text, int id, int value) {
    auto* b = withControlId(new QCheckBox(text), id);
    b->setChecked(value == 1);
    return b;
}
int stored(const QCheckBox* b) { return b->isChecked() ? 1 : 0; }
} // namespace

FilterPropertiesPage::FilterPropertiesPage(QWidget* parent) : OptionsPage(page::kFilterProperties, parent) {
    setObjectName(controlObjectName(page::kFilterProperties));
    using namespace pageControl;
    wordEnable_ = box("Enable Spam Word Filter", kWordEnable, settings::filterWordEnable());
    wordHtml_ = box("Ignore HTML tags", kWordHtml, settings::filterWordHtml());
    learningEnable_ = box("Enable Learning Filter", kLearningEnable, settings::filterLearningEnable());
    autoFriends_ = box("Learn messages from friends as non-spam", kLearningAutoFriends, settings::filterLearningAutoFriends());
    autoBlocked_ = box("Learn messages from blocked senders as spam", kLearningAutoBlocked, settings::filterLearningAutoBlocked());
    autoRestored_ = box("Learn restored messages as non-spam", kLearningAutoRestored, settings::filterLearningAutoRestored());
    pluginEnable_ = box("Enable filter plugins", kPluginEnable, settings::filterPluginEnable());
    blockedNotDownloaded_ = settings::dontDownloadBlockedSenders() != 0;
    if (blockedNotDownloaded_) autoBlocked_->setChecked(false);

    auto* words = new QGroupBox("Spam Word Filter");
    auto* wordsLayout = new QVBoxLayout(words);
    wordsLayout->addWidget(wordEnable_);
    wordsLayout->addWidget(wordHtml_);
    auto* learning = new QGroupBox("Learning Filter");
    auto* learningLayout = new QVBoxLayout(learning);
    for (QCheckBox* b : {learningEnable_, autoFriends_, autoBlocked_, autoRestored_}) learningLayout->addWidget(b);
    auto* plugins = new QGroupBox("Plugins");
    (new QVBoxLayout(plugins))->addWidget(pluginEnable_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(words);
    layout->addWidget(learning);
    layout->addWidget(plugins);
    layout->addStretch();
    for (QCheckBox* b : findChildren<QCheckBox*>()) {
        connect(b, &QCheckBox::toggled, this, &FilterPropertiesPage::updateEnabled);
        connect(b, &QCheckBox::toggled, this, &OptionsPage::changed);
    }
    translateWindow(this);
    updateEnabled();
}

void FilterPropertiesPage::updateEnabled() {
    if (settings::enable() == 0) {
        for (QWidget* w : findChildren<QWidget*>()) w->setEnabled(false);
        return;
    }
    wordHtml_->setEnabled(wordEnable_->isChecked());
    const bool learning = learningEnable_->isChecked();
    autoFriends_->setEnabled(learning);
    autoBlocked_->setEnabled(learning && !blockedNotDownloaded_);
    autoRestored_->setEnabled(learning);
}

PageStoreResult FilterPropertiesPage::store() {
    settings::setFilterWordEnable(stored(wordEnable_));
    settings::setFilterWordHtml(stored(wordHtml_));
    settings::setFilterLearningEnable(stored(learningEnable_));
    settings::setFilterLearningAutoFriends(stored(autoFriends_));
    if (!blockedNotDownloaded_) settings::setFilterLearningAutoBlocked(stored(autoBlocked_));
    settings::setFilterLearningAutoRestored(stored(autoRestored_));
    settings::setFilterPluginEnable(stored(pluginEnable_));
    FilterChain::instance().save();
    FilterChain::instance().discard();
    return PageStoreResult::Stored;
}

} // namespace corvanthelix
