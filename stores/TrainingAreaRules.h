#pragma once
// What the training area window shows and allows, without any window: the rows made of the
// store's entries, their marks and how marking toggles them, pre-marking by the filters' verdict,
// the texts and order of the columns, the toolbar's enabled states and the status bar.
#include "stores/TrainingArea.h"

#include <string>
#include <vector>

namespace corvanthelix {

/// The mark a row carries: what the person says the message is.
enum class TrainingMark { None = -1, Spam = 1, NonSpam = 2 };

/// One row of the window: an entry of the training area and its mark.
struct TrainingRow {
    std::string fileName;
    std::string senderName;
    std::string subject;
    std::string senderAddress;
    std::string recycleFileName; ///< empty when the message has no copy in the recycle bin
    long long size = 0;
    int verdict = 0; ///< the filters' verdict when the message was added
    int day = 0;     ///< day number
    int minutes = 0; ///< minutes since midnight
    TrainingMark mark = TrainingMark::None;
};

/// Which toolbar buttons (and the same menu items) may be used.
struct TrainingToolbarState {
    bool view = false;    ///< View message, Spam, Non-Spam, Delete, and the sender items
    bool premark = false; ///< Pre-Mark and its drop-down
    bool learn = false;   ///< Learn!
    bool operator==(const TrainingToolbarState&) const = default;
};

class TrainingAreaRules {
public:
    static constexpr int kColumnMark = 0;
    static constexpr int kColumnSender = 1;
    static constexpr int kColumnSubject = 2;
    static constexpr int kColumnDate = 3;
    static constexpr int kColumnSize = 4;
    static constexpr int kColumnCount = 5;

    static constexpr int kStringStatusTotals = 185;
    static constexpr int kStringLearning = 186;
    static constexpr int kStringReady = 187;

    /// The string-table number of the header of `column`; 0 for the mark column, which has none.
    static int columnHeaderString(int column);

    /// The unmarked row for `entry`.
    static TrainingRow rowFor(const TrainingEntry& entry);
    /// The rows of `entries`, in index order, all unmarked.
    static std::vector<TrainingRow> rowsFor(const std::vector<TrainingEntry>& entries);

    /// The text of `column` for `row`: "" for the mark column (it shows an icon), the date as
    /// "dd.mm.yyyy, hh:mm", the size as "%.02f KB".
    static std::string columnText(const TrainingRow& row, int column);

    /// Marking as a toggle: when every row of `selected` (indexes into `rows`) carries `mark`
    /// already, they all lose it; otherwise they all get it. Nothing without a selection.
    static void toggleMark(std::vector<TrainingRow>& rows, const std::vector<int>& selected, TrainingMark mark);

    /// Pre-marking: every row whose entry in `entries` (the store, read again) has the verdict of
    /// `mark` gets `mark`; every other row keeps its mark. Rows whose entry is gone are left alone.
    static void premark(std::vector<TrainingRow>& rows, const std::vector<TrainingEntry>& entries, TrainingMark mark);

    /// Which marks the settings' pre-mark sets: spam when "TrainingAreaPremarkSpam", non-spam when
    /// "TrainingAreaPremarkNonSpam" (read from `settingsFile`, empty: the program's).
    static std::vector<TrainingMark> premarksBySettings(const std::string& settingsFile = {});
    /// Whether the window pre-marks by the settings when it opens ("TrainingAreaPremarkAuto" 1).
    static bool premarkOnOpening(const std::string& settingsFile = {});

    /// True when `a` sorts before `b` in `column`: the mark column spam, non-spam, unmarked; sender
    /// and subject case-insensitively ascending; the date newest first; the size largest first.
    static bool lessThan(const TrainingRow& a, const TrainingRow& b, int column);

    /// The toolbar for `selected` selected rows of `rows`.
    static TrainingToolbarState toolbarState(int selected, const std::vector<TrainingRow>& rows);
    /// The number of rows that Learn would learn: a mark and a file name.
    static int learnableCount(const std::vector<TrainingRow>& rows);
    /// The right part of the status bar: "%i messages - %.2f KB" with the total size / 1024.
    static std::string statusTotals(int rows, long long totalBytes);
};

} // namespace corvanthelix
