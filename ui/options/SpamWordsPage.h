#pragma once
// Page 4011 "Spam Words": the user's expressions and, when shown, the predefined ones in their
// own colour, with Add, Edit and Delete.
#include "filter/SpamWordList.h"
#include "ui/options/OptionsPage.h"

#include <QAbstractTableModel>

class QCheckBox;
class QPushButton;
class QTableView;

namespace corvanthelix {

/// The listed expressions: expression and probability; predefined rows in RGB(128, 150, 192).
class SpamWordModel : public QAbstractTableModel {
    Q_OBJECT
public:
    SpamWordModel(const SpamWordList& list, QObject* parent = nullptr);
    void reload(bool withPredefined);
    const SpamWordRow& row(int index) const { return rows_.at(static_cast<size_t>(index)); }
    int rowOf(const std::string& word) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const SpamWordList& list_;
    std::vector<SpamWordRow> rows_;
};

class SpamWordsPage : public OptionsPage {
    Q_OBJECT
public:
    explicit SpamWordsPage(QWidget* parent);
    /// Writes `ShowPredefinedWords`; the words themselves are written as they are edited.
    PageStoreResult store() override;
    SpamWordModel* model() const { return model_; }

private:
    void addWord();
    void editWord();
    void deleteWord();
    void refill(const std::string& select);
    int selectedRow() const;

    SpamWordList list_;
    SpamWordModel* model_ = nullptr;
    QTableView* view_ = nullptr;
    QCheckBox* showPredefined_ = nullptr;
};

} // namespace corvanthelix
