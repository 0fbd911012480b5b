// The training area window's rules without a window: marks as a toggle, pre-marking by the
// filters' verdict and by the settings, the columns' order and texts, and the toolbar's states.
#include "stores/TrainingAreaRules.h"

#include "base/Settings.h"
#include "base/TextUtils.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

TrainingEntry entry(const std::string& name, int verdict, const std::string& sender = "", long long size = 0,
                    int day = 0, int hour = 0, int minute = 0) {
    TrainingEntry e;
    e.fileName = name;
    e.senderName = sender;
    e.subject = "subject of " + name;
    e.verdict = verdict;
    e.size = size;
    e.dayNumber = day;
    e.hour = hour;
    e.minute = minute;
    return e;
}

std::vector<TrainingMark> marks(const std::vector<TrainingRow>& rows) {
    std::vector<TrainingMark> result;
    for (const TrainingRow& row : rows) result.push_back(row.mark);
    return result;
}

constexpr TrainingMark None = TrainingMark::None;
constexpr TrainingMark Spam = TrainingMark::Spam;
constexpr TrainingMark Ham = TrainingMark::NonSpam;

} // namespace

TEST(TrainingAreaRulesTest, MarkingTogglesTheWholeSelection) {
    struct Case {
        const char* what;
        std::vector<TrainingMark> before;
        std::vector<int> selected;
        TrainingMark mark;
        std::vector<TrainingMark> after;
    };
    const Case cases[] = {
        {"unmarked rows get the mark", {None, None, None}, {0, 2}, Spam, {Spam, None, Spam}},
        {"all carry it: all lose it", {Spam, None, Spam}, {0, 2}, Spam, {None, None, None}},
        {"a mix: all get it", {Spam, Ham, None}, {0, 1, 2}, Spam, {Spam, Spam, Spam}},
        {"the other mark replaces it", {Spam, Spam, None}, {0, 1}, Ham, {Ham, Ham, None}},
        {"no selection: nothing", {Spam, None, None}, {}, Spam, {Spam, None, None}},
        {"indexes outside the list are ignored", {None, None, None}, {1, 7, -1}, Ham, {None, Ham, None}},
    };
    for (const Case& c : cases) {
        std::vector<TrainingRow> rows(c.before.size());
        for (size_t i = 0; i < rows.size(); ++i) rows[i].mark = c.before[i];
        TrainingAreaRules::toggleMark(rows, c.selected, c.mark);
        EXPECT_EQ(marks(rows), c.after) << c.what;
    }
    // Pressing S twice on one selection marks and then unmarks it.
    std::vector<TrainingRow> rows(2);
    TrainingAreaRules::toggleMark(rows, {1}, Spam);
    TrainingAreaRules::toggleMark(rows, {1}, Spam);
    EXPECT_EQ(marks(rows), (std::vector<TrainingMark>{None, None}));
}

TEST(TrainingAreaRulesTest, PremarkSetsTheVerdictsMarkAndKeepsEveryOtherMark) {
    const std::vector<TrainingEntry> entries = {entry("a", 1), entry("b", 2), entry("c", 1), entry("d", 2)};
    std::vector<TrainingRow> rows = TrainingAreaRules::rowsFor(entries);
    ASSERT_EQ(marks(rows), (std::vector<TrainingMark>{None, None, None, None}));
    rows[3].mark = Spam; // the person's own mark on a message judged non-spam
    rows.push_back(TrainingAreaRules::rowFor(entry("gone", 1))); // its entry was removed meanwhile

    TrainingAreaRules::premark(rows, entries, Spam);
    EXPECT_EQ(marks(rows), (std::vector<TrainingMark>{Spam, None, Spam, Spam, None}));
    TrainingAreaRules::premark(rows, entries, Ham);
    EXPECT_EQ(marks(rows), (std::vector<TrainingMark>{Spam, Ham, Spam, Ham, None}));
}

TEST(TrainingAreaRulesTest, PremarkBySettingsAndOnOpening) {
    TempFolder temp;
    const std::string file = temp.file("corvanthelix.ini");
    EXPECT_EQ(TrainingAreaRules::premarksBySettings(file), (std::vector<TrainingMark>{Spam})) << "defaults";
    EXPECT_FALSE(TrainingAreaRules::premarkOnOpening(file));
    settings::setTrainingAreaPremarkNonSpam(1, file);
    EXPECT_EQ(TrainingAreaRules::premarksBySettings(file), (std::vector<TrainingMark>{Spam, Ham}));
    settings::setTrainingAreaPremarkSpam(0, file);
    settings::setTrainingAreaPremarkNonSpam(0, file);
    EXPECT_TRUE(TrainingAreaRules::premarksBySettings(file).empty());
    settings::setTrainingAreaPremarkAuto(1, file);
    EXPECT_TRUE(TrainingAreaRules::premarkOnOpening(file));
}

TEST(TrainingAreaRulesTest, EachColumnSortsInItsOwnDirection) {
    const int today = dayNumber(2026, 12, 11);
    std::vector<TrainingRow> rows = TrainingAreaRules::rowsFor({
        entry("a", 1, "bob", 300, today - 1, 9, 0),
        entry("b", 1, "Alice", 100, today, 8, 30),
        entry("c", 2, "carol", 200, today, 10, 5),
    });
    rows[0].mark = Ham;
    rows[2].mark = Spam;
    auto order = [&](int column) {
        std::vector<TrainingRow> sorted = rows;
        std::stable_sort(sorted.begin(), sorted.end(), [column](const TrainingRow& x, const TrainingRow& y) {
            return TrainingAreaRules::lessThan(x, y, column);
        });
        std::string names;
        for (const TrainingRow& row : sorted) names += row.fileName;
        return names;
    };
    EXPECT_EQ(order(TrainingAreaRules::kColumnMark), "cab") << "spam, non-spam, unmarked";
    EXPECT_EQ(order(TrainingAreaRules::kColumnSender), "bac") << "case-insensitive";
    EXPECT_EQ(order(TrainingAreaRules::kColumnDate), "cba") << "newest first, by day then time";
    EXPECT_EQ(order(TrainingAreaRules::kColumnSize), "acb") << "largest first";
}

TEST(TrainingAreaRulesTest, ColumnTextsHeadersAndTotals) {
    const TrainingRow row = TrainingAreaRules::rowFor(entry("a", 1, "Bob", 1536, dayNumber(2026, 3, 7), 9, 5));
    EXPECT_EQ(TrainingAreaRules::columnText(row, TrainingAreaRules::kColumnMark), "");
    EXPECT_EQ(TrainingAreaRules::columnText(row, TrainingAreaRules::kColumnSender), "Bob");
    EXPECT_EQ(TrainingAreaRules::columnText(row, TrainingAreaRules::kColumnSubject), "subject of a");
    EXPECT_EQ(TrainingAreaRules::columnText(row, TrainingAreaRules::kColumnDate), "07.03.2026, 09:05");
    EXPECT_EQ(TrainingAreaRules::columnText(row, TrainingAreaRules::kColumnSize), "1.50 KB");
    EXPECT_EQ(TrainingAreaRules::columnHeaderString(0), 0);
    EXPECT_EQ(TrainingAreaRules::columnHeaderString(4), 165);
    EXPECT_EQ(TrainingAreaRules::statusTotals(3, 3072), "3 messages - 3.00 KB");
}

TEST(TrainingAreaRulesTest, ToolbarStates) {
    std::vector<TrainingRow> rows(3);
    rows[0].fileName = "a";
    struct Case {
        int selected;
        size_t rowCount;
        bool marked;
        TrainingToolbarState state;
    };
    const Case cases[] = {
        {0, 0, false, {false, false, false}},
        {0, 3, false, {false, true, false}},
        {2, 3, false, {true, true, false}},
        {0, 3, true, {false, true, true}},
        {1, 3, true, {true, true, true}},
    };
    for (const Case& c : cases) {
        std::vector<TrainingRow> list(rows.begin(), rows.begin() + c.rowCount);
        if (c.marked) list[1].mark = Spam;
        EXPECT_EQ(TrainingAreaRules::toolbarState(c.selected, list), c.state) << c.selected << " of " << c.rowCount;
    }
    // Learn counts only marked rows that name a file.
    rows[0].mark = Ham;
    rows[1].mark = Spam;
    EXPECT_EQ(TrainingAreaRules::learnableCount(rows), 1);
}
