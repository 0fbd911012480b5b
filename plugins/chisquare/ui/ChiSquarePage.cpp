#include "chisquare/ui/ChiSquarePage.h"

#include "chisquare/ChiSquarePlugin.h"
#include "chisquare/ui/ChiSquarePageProcedure.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix::chisquare {

namespace {
QString controlName(int id) { return QStringLiteral("id%1").arg(id); }
} // namespace

ChiSquarePage::ChiSquarePage(ChiSquarePlugin& plugin, QWidget* parent) : QWidget(parent), plugin_(plugin) {
    auto* layout = new QVBoxLayout(this);

    auto* judging = new QGroupBox(translated("Judging"), this);
    auto* judgingLayout = new QVBoxLayout(judging);
    auto* explanation = new QLabel(translated("The chi-square filter learns from every message you mark as spam or "
                                              "non-spam. Choose how readily it calls a message spam:"),
                                   judging);
    explanation->setWordWrap(true);
    judgingLayout->addWidget(explanation);
    choice_ = new QComboBox(judging);
    choice_->setObjectName(controlName(kAggressivenessId));
    for (Aggressiveness choice : ChiSquareSettings::kChoices)
        choice_->addItem(translated(ChiSquareSettings::label(choice)), static_cast<int>(choice));
    choice_->setCurrentIndex(choice_->findData(static_cast<int>(plugin_.aggressiveness())));
    judgingLayout->addWidget(choice_);
    layout->addWidget(judging);

    auto* database = new QGroupBox(translated("Word database"), this);
    auto* form = new QFormLayout(database);
    auto value = [&](int id) {
        auto* label = new QLabel(database);
        label->setObjectName(controlName(id));
        return label;
    };
    words_ = value(kWordsId);
    spamMessages_ = value(kSpamMessagesId);
    hamMessages_ = value(kHamMessagesId);
    fileSize_ = value(kFileSizeId);
    form->addRow(translated("Words:"), words_);
    form->addRow(translated("Learned spam messages:"), spamMessages_);
    form->addRow(translated("Learned non-spam messages:"), hamMessages_);
    form->addRow(translated("Size of the file:"), fileSize_);
    forget_ = new QPushButton(translated("Forget everything"), database);
    forget_->setObjectName(controlName(kForgetId));
    form->addRow(forget_);
    layout->addWidget(database);
    layout->addStretch(1);

    connect(forget_, &QPushButton::clicked, this, &ChiSquarePage::askAndForget);
    refresh();
}

QString ChiSquarePage::sizeText(uint64_t bytes) const {
    // Whole numbers only: the page does not know the program language's decimal separator.
    if (bytes < 10 * 1024) return QString::number(bytes) + ' ' + translated("bytes");
    if (bytes < 10 * 1024 * 1024) return QString::number((bytes + 1023) / 1024) + ' ' + translated("KB");
    return QString::number((bytes + 1024 * 1024 - 1) / (1024 * 1024)) + ' ' + translated("MB");
}

QString ChiSquarePage::translated(const char* text) const {
    return QString::fromStdString(plugin_.translate(text));
}

Aggressiveness ChiSquarePage::shownChoice() const {
    return static_cast<Aggressiveness>(choice_->currentData().toInt());
}

bool ChiSquarePage::store() { return plugin_.setAggressiveness(shownChoice()); }

void ChiSquarePage::refresh() {
    ChiSquareFilter::Stats stats = plugin_.filter().stats();
    QLocale locale;
    words_->setText(locale.toString(qulonglong(stats.tokens)));
    spamMessages_->setText(locale.toString(stats.spamMessages));
    hamMessages_->setText(locale.toString(stats.hamMessages));
    fileSize_->setText(sizeText(stats.fileBytes));
    forget_->setEnabled(stats.tokens > 0 || stats.spamMessages > 0 || stats.hamMessages > 0);
}

void ChiSquarePage::askAndForget() {
    QMessageBox question(QMessageBox::Question, translated("Chi-Square Filter"),
                         translated("Do you really want the chi-square filter to forget everything it has "
                                    "learned?\nIt judges no message until it has learned spam and non-spam again."),
                         QMessageBox::NoButton, this);
    QPushButton* yes = question.addButton(translated("&Yes"), QMessageBox::YesRole);
    QPushButton* no = question.addButton(translated("&No"), QMessageBox::NoRole);
    yes->setObjectName(controlName(kYesId));
    no->setObjectName(controlName(kNoId));
    question.setDefaultButton(no);
    question.exec();
    if (question.clickedButton() != yes) return;
    if (!plugin_.filter().forget())
        QMessageBox::warning(this, translated("Chi-Square Filter"),
                             translated("The emptied word database could not be saved."));
    refresh();
}

intptr_t chiSquarePageProcedure(void* page, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    try {
        switch (message) {
        case CVX_PAGE_CREATE:
            if (wparam != ChiSquarePlugin::kPageDialogId) return 0;
            return reinterpret_cast<intptr_t>(
                new ChiSquarePage(ChiSquarePlugin::instance(), reinterpret_cast<QWidget*>(lparam)));
        case CVX_PAGE_STORE: {
            auto* shown = qobject_cast<ChiSquarePage*>(static_cast<QWidget*>(page));
            if (!shown) return 0;
            shown->store();
            return 1;
        }
        default: return 0;
        }
    } catch (...) {
        // The host may be written in C: nothing unwinds into it.
        return 0;
    }
}

} // namespace corvanthelix::chisquare
