#include "ui/options/AggressivenessPage.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterPageControls.h"
#include "ui/widgets/ControlNames.h"

#include <QBitmap>
#include <QButtonGroup>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
constexpr int kIconSize = 32;
constexpr int kColumnX = 6;
constexpr int kBottomY = 188;
constexpr int kStep = 45;

// Image i of the strip, magenta transparent; a null pixmap without the file.
QPixmap levelPicture(const QPixmap& strip, int i) {
    if (strip.isNull()) return {};
    QPixmap picture = strip.copy(i * kIconSize, 0, kIconSize, kIconSize);
    picture.setMask(picture.createMaskFromColor(QColor(255, 0, 255)));
    return picture;
}
} // namespace

AggressivenessPage::AggressivenessPage(QWidget* parent) : OptionsPage(page::kAggressiveness, parent) {
    setObjectName(controlObjectName(page::kAggressiveness));
    const QPixmap strip(QString::fromStdString(Application::instance().paths().resourcePath("bitmaps/aggressiveness.bmp")));
    auto* column = withControlId(new QWidget, pageControl::kAggressivenessLevels);
    column->setFixedSize(kColumnX + kIconSize + 12, kBottomY + kIconSize + 12);
    buttons_ = new QButtonGroup(this);
    for (int i = 4; i >= 0; --i) {
        auto* button = new QToolButton(column);
        button->setObjectName(QString("level%1").arg(25 * i));
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setIcon(levelPicture(strip, i));
        button->setIconSize(QSize(kIconSize, kIconSize));
        button->setGeometry(kColumnX, kBottomY - kStep * i, kIconSize + 8, kIconSize + 8);
        buttons_->addButton(button, 25 * i);
    }
    text_ = withControlId(new QLabel, pageControl::kAggressivenessText);
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    threshold_ = withControlId(new QLineEdit, pageControl::kAggressivenessThreshold);
    threshold_->setValidator(new QIntValidator(0, 100000, threshold_));
    threshold_->setMaximumWidth(90);
    auto* form = new QFormLayout;
    form->addRow(new QLabel("Probability threshold:"), threshold_);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel("Choose how strictly messages are judged:"));
    right->addWidget(text_);
    right->addLayout(form);
    right->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(column);
    layout->addLayout(right, 1);
    translateWindow(this);

    connect(buttons_, &QButtonGroup::idClicked, this, [this](int level) {
        selectLevel(level);
        emit changed();
    });
    connect(threshold_, &QLineEdit::textEdited, this, [this](const QString& text) {
        bool number = false;
        const int value = text.toInt(&number);
        if (number) levels_.setThreshold(level_, value);
        emit changed();
    });
    selectLevel(AggressivenessLevels::levelOf(settings::aggressiveness()));
    if (settings::enable() == 0 || settings::filterWordEnable() == 0) setEnabled(false);
}

void AggressivenessPage::selectLevel(int level) {
    level_ = AggressivenessLevels::levelOf(level);
    if (QAbstractButton* button = buttons_->button(level_)) button->setChecked(true);
    showLevel();
}

void AggressivenessPage::showLevel() {
    text_->setText(QString::fromStdString(loadString(AggressivenessLevels::kStringLevelBase + level_)));
    const std::optional<int> threshold = levels_.threshold(level_);
    threshold_->setEnabled(AggressivenessLevels::hasThreshold(level_));
    threshold_->setText(threshold ? QString::number(*threshold) : QString());
}

PageStoreResult AggressivenessPage::store() {
    settings::setAggressiveness(level_);
    levels_.store();
    return PageStoreResult::Stored;
}

} // namespace corvanthelix
