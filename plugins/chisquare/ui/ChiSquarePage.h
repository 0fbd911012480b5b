#pragma once
// The chi-square filter's settings page: how readily it calls a message spam, what its database
// holds and how large its file is, and "Forget everything" (asked first). It only shows and asks;
// the plug-in applies and stores the choice and empties the database.
#include "chisquare/ChiSquareSettings.h"

#include <QWidget>

#include <cstdint>

class QComboBox;
class QLabel;
class QPushButton;

namespace corvanthelix::chisquare {

class ChiSquarePlugin;

class ChiSquarePage : public QWidget {
    Q_OBJECT
public:
    /// Control ids, set as the widgets' object names ("id4010").
    static constexpr int kAggressivenessId = 4010;
    static constexpr int kWordsId = 4011;
    static constexpr int kSpamMessagesId = 4012;
    static constexpr int kHamMessagesId = 4013;
    static constexpr int kFileSizeId = 4014;
    static constexpr int kForgetId = 4015;
    /// The Yes and No buttons of the question before forgetting.
    static constexpr int kYesId = 6;
    static constexpr int kNoId = 7;

    /// A page showing `plugin`'s choice and database, as a child of `parent`. Its texts are
    /// translated through the host.
    ChiSquarePage(ChiSquarePlugin& plugin, QWidget* parent);

    /// Stores the shown choice through the plug-in. False when the host refused to store it.
    bool store();

    /// Shows the database's current size.
    void refresh();

    /// The choice the page shows.
    Aggressiveness shownChoice() const;

private:
    void askAndForget();
    QString translated(const char* text) const;
    /// `bytes` as "559 bytes", "24 KB" or "12 MB", the unit translated.
    QString sizeText(uint64_t bytes) const;

    ChiSquarePlugin& plugin_;
    QComboBox* choice_;
    QLabel* words_;
    QLabel* spamMessages_;
    QLabel* hamMessages_;
    QLabel* fileSize_;
    QPushButton* forget_;
};

} // namespace corvanthelix::chisquare
