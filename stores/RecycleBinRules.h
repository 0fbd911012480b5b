#pragma once
// What the recycle bin window shows and allows, without any window: the row made of an index
// entry, the texts of its columns, the order of each column, the toolbar's enabled states, the
// status bar and the information pane.
#include "stores/RecycleBin.h"

#include <optional>
#include <string>
#include <vector>

namespace corvanthelix {

/// One row of the window: an entry of the index as it is listed.
struct RecycleRow {
    std::string name; ///< message file name in the recycle folder
    std::string senderName;
    std::string subject;
    std::string reason;  ///< "[filter] : words", or empty
    std::string account; ///< empty when hidden
    double probability = 0;
    bool restored = false;
    bool seen = true;
    int day = 0;        ///< day number
    int minutes = 0;    ///< minutes since midnight
    long long size = 0; ///< 0 for a message held only in part
};

/// Which toolbar buttons may be used.
struct RecycleToolbarState {
    bool view = false;
    bool restore = false;
    bool remove = false;
    bool emptyBin = false;
};

/// The texts of the information pane.
struct RecyclePaneTexts {
    std::string sender;
    std::string subject;
    std::string filterName;
    std::string spamWords;
    std::string probability;
    std::string size;
    std::string account;
    bool operator==(const RecyclePaneTexts&) const = default;
};

class RecycleBinRules {
public:
    static constexpr int kColumnSender = 0;
    static constexpr int kColumnSubject = 1;
    static constexpr int kColumnDate = 2;
    static constexpr int kColumnFilter = 3;
    static constexpr int kColumnProbability = 4;
    static constexpr int kColumnAccount = 5;
    static constexpr int kColumnSize = 6;
    static constexpr int kColumnCount = 7;

    static constexpr int kStringBlockedSender = 184;
    static constexpr int kStringStatusTotals = 185;
    static constexpr int kStringReady = 187;

    /// The string-table number of the header of `column`.
    static int columnHeaderString(int column);

    /// The row for `entry`; nullopt for a deleted entry, which is not listed. The account is
    /// emptied when hidden, the time taken only from an "hh:mm" text, the size only for a message
    /// held whole.
    static std::optional<RecycleRow> rowFor(const RecycleEntry& entry);
    /// The rows of every listed entry, in index order.
    static std::vector<RecycleRow> rowsFor(const std::vector<RecycleEntry>& entries);

    /// The text of `column` for `row` (see the column constants); "" for an unknown column.
    static std::string columnText(const RecycleRow& row, int column);
    /// The filter named in `reason`: the text between "[" and "]", the whole reason when it has no
    /// brackets, the "(Blocked Sender)" text when it is empty.
    static std::string filterName(const std::string& reason);
    /// The spam words of `reason`: what follows "] : "; the whole reason when it has no
    /// brackets; "" when it is empty or ends early.
    static std::string spamWords(const std::string& reason);

    /// True when `a` sorts before `b` in `column`: texts case-insensitively ascending (an empty
    /// text first), the date newest first, probability and size largest first.
    static bool lessThan(const RecycleRow& a, const RecycleRow& b, int column);

    /// The toolbar for `selected` selected rows of `rows` listed.
    static RecycleToolbarState toolbarState(int selected, int rows);
    /// The right part of the status bar: "%i messages - %.2f KB" with the total size / 1024.
    static std::string statusTotals(int rows, long long totalBytes);
    /// The pane for the selection: filled from the one row when exactly one is selected, all
    /// empty otherwise (`selected` may hold null for none).
    static RecyclePaneTexts paneTexts(const std::vector<const RecycleRow*>& selected);
};

} // namespace corvanthelix
