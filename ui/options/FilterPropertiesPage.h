#pragma once
// Page 4010 "Filter Properties": which filters run and what the learning filter learns by
// itself. While "Don't download messages from blocked senders" is on, nothing is learned from
// blocked senders (their messages never arrive), so that box is off, disabled and not stored.
#include "ui/options/OptionsPage.h"

class QCheckBox;

namespace corvanthelix {

class FilterPropertiesPage : public OptionsPage {
    Q_OBJECT
public:
    explicit FilterPropertiesPage(QWidget* parent);
    /// Writes the boxes, has the filter chain write its priorities and discards the chain so
    /// that it is built again from the settings.
    PageStoreResult store() override;

private:
    void updateEnabled();

    QCheckBox* wordEnable_ = nullptr;
    QCheckBox* wordHtml_ = nullptr;
    QCheckBox* learningEnable_ = nullptr;
    QCheckBox* autoFriends_ = nullptr;
    QCheckBox* autoBlocked_ = nullptr;
    QCheckBox* autoRestored_ = nullptr;
    QCheckBox* pluginEnable_ = nullptr;
    bool blockedNotDownloaded_ = false;
};

} // namespace corvanthelix
