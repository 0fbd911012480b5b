#include "filter/FilterChain.h"

#include "base/Application.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "tests/fakes/FakeChainPluginHost.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::FakeChainPluginHost;
using corvanthelix::testing::TempFolder;

namespace {

using Plugin = FakeChainPluginHost::Plugin;

class FilterChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Application::instance().setProgramFolder(tmp.path()));
        IniFile::clearCache();
        host.install();
        FilterChain::destroyInstance();
    }
    void TearDown() override { FilterChain::destroyInstance(); }

    // Writes the settings file: the given lines of the CORVANTHELIX and FILTERPRIORITY sections.
    void configure(const std::string& corvanthelix, const std::vector<std::string>& priorities) {
        std::string text = "[CORVANTHELIX]\n" + corvanthelix + "[FILTERPRIORITY]\n";
        for (const std::string& line : priorities) text += line + "\n";
        tmp.write("corvanthelix.ini", text);
    }

    // The chain as "key@position" in slot order.
    static std::string order(FilterChain& chain) {
        std::string out;
        for (ChainEntry* e = chain.Next(nullptr); e; e = chain.Next(e))
            out += (out.empty() ? "" : " ") + e->key + "@" + std::to_string(e->position);
        return out;
    }

    TempFolder tmp;
    FakeChainPluginHost host;
};

std::array<bool, FilterChain::kSlots> occupied(std::initializer_list<std::pair<int, int>> ranges) {
    std::array<bool, FilterChain::kSlots> slots{};
    for (auto [from, to] : ranges)
        for (int s = from; s <= to; ++s) slots[s] = true;
    return slots;
}

} // namespace

TEST(FilterChainPlacement, WantedSlotOrTheNextFreeAboveBottomFillsFromTheEnd) {
    struct Case {
        const char* why;
        std::array<bool, FilterChain::kSlots> taken;
        int priority;
        int slot;
    } cases[] = {
        {"free wanted slot", occupied({}), 3, 3},
        {"taken slot: the next free above", occupied({{3, 3}}), 3, 4},
        {"taken run: the first free above it", occupied({{3, 7}}), 3, 8},
        {"free slots below do not count", occupied({{3, 3}}), 3, 4},
        {"255 takes the highest free slot", occupied({}), 255, 255},
        {"255 taken: the one below", occupied({{250, 255}}), 255, 249},
        {"254 is the last slot searched upwards", occupied({{254, 254}}), 254, 0},
        {"255 stays for the bottom", occupied({{200, 254}}), 200, 0},
        {"255 with only slot 1 free", occupied({{2, 255}}), 255, 1},
        {"every slot taken", occupied({{1, 255}}), 255, 0},
        {"above 255 is never placed", occupied({}), 256, 0},
        {"0 counts as 1", occupied({}), 0, 1},
        {"negative counts as 1", occupied({{1, 1}}), -40, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FilterChain::slotFor(c.taken, c.priority), c.slot) << c.why;
}

TEST_F(FilterChainTest, BuildPlacesByPriorityThenClosesTheGapsKeepingTheOrder) {
    struct Case {
        const char* why;
        std::string corvanthelix;
        std::vector<std::string> priorities;
        std::vector<std::string> plugins; // in the manager's list order
        const char* expected;
    } cases[] = {
        {"defaults: built-in filters on top, plug-ins fill from the bottom", "", {}, {"a.so", "b.so"},
         "1@1 2@2 b.so@3 a.so@4"},
        {"priority 3 taken goes to the next free slot above", "", {"1=3", "2=3", "p.so=3"}, {"p.so"},
         "1@1 2@2 p.so@3"},
        {"a plug-in between the built-in filters", "", {"2=10", "1=20", "p.so=15"}, {"p.so"},
         "2@1 p.so@2 1@3"},
        {"priorities below 1 count as 1", "", {"1=0", "2=-5", "p.so=-1"}, {"p.so"}, "1@1 2@2 p.so@3"},
        {"priority above 255 leaves the filter out", "", {"p.so=300"}, {"p.so", "q.so"}, "1@1 2@2 q.so@3"},
        {"learning filter off", "FilterLearningEnable=0\n", {}, {"p.so"}, "2@1 p.so@2"},
        {"plug-ins off", "FilterPluginEnable=0\n", {}, {"p.so"}, "1@1 2@2"},
        {"everything off", "FilterLearningEnable=0\nFilterWordEnable=0\nFilterPluginEnable=0\n", {}, {"p.so"}, ""},
    };
    for (const Case& c : cases) {
        configure(c.corvanthelix, c.priorities);
        host.plugins.clear();
        for (const std::string& file : c.plugins) host.plugins.push_back(Plugin{file, file + " name"});
        FilterChain chain;
        EXPECT_EQ(order(chain), c.expected) << c.why;
    }
}

TEST_F(FilterChainTest, BehavioursComeFromTheSettingsAndSaveWritesThemBack) {
    tmp.write("corvanthelix.ini",
              "[FILTERBEHAVIORSPAM]\n1=1\np.so=7\n[FILTERBEHAVIORNONSPAM]\n2=1\n");
    host.plugins = {Plugin{"p.so", "P"}};
    FilterChain chain;
    std::vector<ChainEntry> entries = chain.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].continueOnSpam, 1);
    EXPECT_EQ(entries[0].continueOnNonSpam, 0);
    EXPECT_EQ(entries[1].continueOnNonSpam, 1);
    EXPECT_EQ(entries[2].continueOnSpam, 7);
    EXPECT_EQ(entries[2].kind, ChainEntry::kPlugin);
    EXPECT_NE(entries[2].plugin, nullptr);

    ChainEntry* plugin = chain.Next(chain.Next(chain.Next(nullptr)));
    ASSERT_TRUE(chain.moveUp(plugin));
    chain.save();
    const std::string& file = settings::settingsFile();
    EXPECT_EQ(settings::filterPriority("1", file), 1);
    EXPECT_EQ(settings::filterPriority("p.so", file), 2);
    EXPECT_EQ(settings::filterPriority("2", file), 3);
    EXPECT_EQ(settings::filterBehaviorSpam("p.so", file), 7);
    EXPECT_EQ(settings::filterBehaviorNonSpam("2", file), 1);
    EXPECT_EQ(settings::filterBehaviorNonSpam("1", file), 0) << "zeros are written too";
    EXPECT_TRUE(IniFile::hasKey("FILTERBEHAVIORNONSPAM", "1", file));
}

TEST_F(FilterChainTest, MovesSwapWithOccupiedNeighboursOnly) {
    host.plugins = {Plugin{"p.so", "P"}};
    FilterChain chain;
    ChainEntry* first = chain.Next(nullptr);
    ChainEntry* last = chain.Next(chain.Next(first));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(chain.Next(last), nullptr);

    EXPECT_FALSE(chain.moveUp(first)) << "nothing before slot 1";
    EXPECT_FALSE(chain.moveDown(last)) << "nothing after the last entry";
    EXPECT_TRUE(chain.moveDown(first));
    EXPECT_EQ(order(chain), "2@1 1@2 p.so@3");
    EXPECT_TRUE(chain.moveUp(last));
    EXPECT_EQ(order(chain), "2@1 p.so@2 1@3");
    EXPECT_EQ(first->position, 3) << "positions follow the moves";
}

TEST_F(FilterChainTest, APluginAskingForTheTopRunsFirstUntilAnOrderIsSaved) {
    host.plugins = {Plugin{"a.so", "A"}, Plugin{"first.so", "First", true}};
    {
        FilterChain chain;
        EXPECT_EQ(order(chain), "first.so@1 1@2 2@3 a.so@4");
        // The user moves it down one place and saves.
        ASSERT_TRUE(chain.moveDown(chain.Next(nullptr)));
        chain.save();
    }
    FilterChain rebuilt;
    EXPECT_EQ(order(rebuilt), "1@1 first.so@2 2@3 a.so@4") << "the stored priority counts now";
}

TEST_F(FilterChainTest, DiscardRebuildsFromTheCurrentSettings) {
    host.plugins = {Plugin{"p.so", "P"}};
    FilterChain& chain = FilterChain::instance();
    EXPECT_EQ(order(chain), "1@1 2@2 p.so@3");
    EXPECT_EQ(host.loadCalls, 1);

    settings::setFilterWordEnable(0);
    EXPECT_EQ(order(chain), "1@1 2@2 p.so@3") << "kept until discarded";
    std::vector<ChainEntry> copy = chain.entries();
    chain.discard();
    EXPECT_EQ(copy.size(), 3u) << "a copy taken before stays usable";
    EXPECT_EQ(order(chain), "1@1 p.so@2");
    EXPECT_EQ(host.loadCalls, 2);
}

TEST_F(FilterChainTest, FilterNamesComeFromThePluginOrTheStringTable) {
    host.plugins = {Plugin{"named.so", "Newsletter Filter"}, Plugin{"anonymous.so", ""}};
    configure("", {"named.so=3", "anonymous.so=4"});
    FilterChain chain;
    std::vector<std::string> names;
    for (ChainEntry* e = chain.Next(nullptr); e; e = chain.Next(e)) {
        char buffer[12];
        names.push_back(FilterChain::filterName(e, buffer, sizeof buffer) ? buffer : "(none)");
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Learning Fi", "Spam Word F", "Newsletter ", "(none)"}));
}
