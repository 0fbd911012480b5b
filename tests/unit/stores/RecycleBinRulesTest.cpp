// What the recycle bin window lists and allows: rows made of entries, column texts, the order of
// each column, the toolbar, the status bar and the information pane.
#include "stores/RecycleBinRules.h"

#include "base/TextUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace corvanthelix;

namespace {

RecycleEntry entry(const std::string& name) {
    RecycleEntry e;
    e.name = name;
    e.date = dayNumber(2026, 12, 9);
    e.time = "07:05";
    e.senderName = "Jane Doe";
    e.subject = "Cheap pills";
    e.reason = "[Spam words] : cheap, pills";
    e.account = "alice @ pop.example.org";
    e.probability = 0.98765;
    e.size = 2560;
    return e;
}

RecycleRow row(const std::string& name, const std::string& sender, int day, int minutes, double probability,
               long long size) {
    RecycleRow r;
    r.name = name;
    r.senderName = sender;
    r.day = day;
    r.minutes = minutes;
    r.probability = probability;
    r.size = size;
    return r;
}

std::vector<std::string> sortedNames(std::vector<RecycleRow> rows, int column) {
    std::stable_sort(rows.begin(), rows.end(),
                     [column](const RecycleRow& a, const RecycleRow& b) { return RecycleBinRules::lessThan(a, b, column); });
    std::vector<std::string> names;
    for (const RecycleRow& r : rows) names.push_back(r.name);
    return names;
}

} // namespace

TEST(RecycleBinRules, ColumnTextsOfARow) {
    const RecycleRow r = *RecycleBinRules::rowFor(entry("a.recycle"));
    const std::vector<std::string> expected = {"Jane Doe",  "Cheap pills",           "09.12.2026, 07:05", "Spam words",
                                               "98.77 %",   "alice @ pop.example.org", "2.50 KB"};
    for (int column = 0; column < RecycleBinRules::kColumnCount; ++column)
        EXPECT_EQ(RecycleBinRules::columnText(r, column), expected[column]) << "column " << column;
    EXPECT_EQ(RecycleBinRules::columnText(r, RecycleBinRules::kColumnCount), "");
}

TEST(RecycleBinRules, RowsLeaveOutWhatTheEntryDoesNotHold) {
    RecycleEntry deleted = entry("deleted.recycle");
    deleted.deleted = true;
    RecycleEntry partial = entry("partial.recycle");
    partial.complete = false; // only the header: no size
    partial.probability = 0;
    partial.hideAccount = true;
    partial.time = "7:05"; // not "hh:mm"
    partial.seen = false;
    partial.restored = true;

    const std::vector<RecycleRow> rows = RecycleBinRules::rowsFor({deleted, partial});
    ASSERT_EQ(rows.size(), 1u);
    const RecycleRow& r = rows.front();
    EXPECT_EQ(r.name, "partial.recycle");
    EXPECT_EQ(RecycleBinRules::columnText(r, RecycleBinRules::kColumnSize), "");
    EXPECT_EQ(RecycleBinRules::columnText(r, RecycleBinRules::kColumnProbability), "");
    EXPECT_EQ(RecycleBinRules::columnText(r, RecycleBinRules::kColumnAccount), "");
    EXPECT_EQ(RecycleBinRules::columnText(r, RecycleBinRules::kColumnDate), "09.12.2026, 00:00");
    EXPECT_FALSE(r.seen);
    EXPECT_TRUE(r.restored);
}

TEST(RecycleBinRules, FilterNameAndSpamWordsOfAReason) {
    struct Case {
        std::string reason, filter, words;
    } cases[] = {
        {"[Spam words] : cheap, pills", "Spam words", "cheap, pills"},
        {"", "(Blocked Sender)", ""},
        {"no brackets here", "no brackets here", "no brackets here"},
        {"[Learning]", "Learning", ""},   // nothing after the bracket
        {"[Learning] :", "Learning", ""}, // cut short: no reading past the end
        {"[Learning] : x", "Learning", "x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RecycleBinRules::filterName(c.reason), c.filter) << c.reason;
        EXPECT_EQ(RecycleBinRules::spamWords(c.reason), c.words) << c.reason;
    }
}

TEST(RecycleBinRules, EachColumnSortsInItsOwnDirection) {
    const int today = dayNumber(2026, 12, 9);
    std::vector<RecycleRow> rows = {
        row("old", "bob", today - 1, 23 * 60, 0.5, 100),
        row("morning", "Alice", today, 8 * 60, 0.99, 5000),
        row("evening", "", today, 20 * 60, 0.0, 0),
        row("noon", "carol", today, 12 * 60, 0.7, 300),
    };
    rows[0].subject = "b";
    rows[1].subject = "A";
    rows[3].subject = "c";
    rows[0].account = "z @ x";
    rows[1].account = "a @ x";
    rows[0].reason = "[Spam words]";
    rows[1].reason = "[learning]";
    rows[3].reason = "[Attachment]";
    using R = RecycleBinRules;
    EXPECT_EQ(sortedNames(rows, R::kColumnSender), (std::vector<std::string>{"evening", "morning", "old", "noon"}));
    EXPECT_EQ(sortedNames(rows, R::kColumnSubject), (std::vector<std::string>{"evening", "morning", "old", "noon"}));
    EXPECT_EQ(sortedNames(rows, R::kColumnFilter), (std::vector<std::string>{"evening", "noon", "morning", "old"}));
    EXPECT_EQ(sortedNames(rows, R::kColumnAccount), (std::vector<std::string>{"evening", "noon", "morning", "old"}));
    EXPECT_EQ(sortedNames(rows, R::kColumnDate), (std::vector<std::string>{"evening", "noon", "morning", "old"}));
    EXPECT_EQ(sortedNames(rows, R::kColumnProbability), (std::vector<std::string>{"morning", "noon", "old", "evening"}));
    EXPECT_EQ(sortedNames(rows, R::kColumnSize), (std::vector<std::string>{"morning", "noon", "old", "evening"}));
}

TEST(RecycleBinRules, ToolbarNeedsASelectionExceptEmptyBin) {
    struct Case {
        int selected, rows;
        bool selection, empty;
    } cases[] = {{0, 0, false, false}, {0, 3, false, true}, {1, 3, true, true}, {3, 3, true, true}, {1, 0, false, false}};
    for (const Case& c : cases) {
        const RecycleToolbarState s = RecycleBinRules::toolbarState(c.selected, c.rows);
        EXPECT_EQ(s.view, c.selection) << c.selected << "/" << c.rows;
        EXPECT_EQ(s.restore, c.selection);
        EXPECT_EQ(s.remove, c.selection);
        EXPECT_EQ(s.emptyBin, c.empty);
    }
}

TEST(RecycleBinRules, StatusBarTotals) {
    EXPECT_EQ(RecycleBinRules::statusTotals(0, 0), "0 messages - 0.00 KB");
    EXPECT_EQ(RecycleBinRules::statusTotals(3, 3584), "3 messages - 3.50 KB");
}

TEST(RecycleBinRules, PaneIsFilledOnlyForExactlyOneSelectedRow) {
    const RecycleRow one = *RecycleBinRules::rowFor(entry("a.recycle"));
    RecycleRow blocked = one;
    blocked.reason.clear();

    const RecyclePaneTexts texts = RecycleBinRules::paneTexts({&one});
    EXPECT_EQ(texts.sender, "Jane Doe");
    EXPECT_EQ(texts.subject, "Cheap pills");
    EXPECT_EQ(texts.filterName, "Spam words");
    EXPECT_EQ(texts.spamWords, "cheap, pills");
    EXPECT_EQ(texts.probability, "98.77 %");
    EXPECT_EQ(texts.size, "2.50 KB");
    EXPECT_EQ(texts.account, "alice @ pop.example.org");

    const RecyclePaneTexts blockedTexts = RecycleBinRules::paneTexts({&blocked});
    EXPECT_EQ(blockedTexts.filterName, "(Blocked Sender)");
    EXPECT_EQ(blockedTexts.spamWords, "");

    EXPECT_EQ(RecycleBinRules::paneTexts({&one, &blocked}), RecyclePaneTexts{});
    EXPECT_EQ(RecycleBinRules::paneTexts({}), RecyclePaneTexts{});
}
