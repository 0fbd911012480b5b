// Plug-ins of an installed program: their libraries lie in the read-only <prefix>/lib folder, so
// what they write must go to the user's data folder, which the host names for them.
#include "base/ProgramPaths.h"
#include "tests/fakes/PluginFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

using namespace corvanthelix;
using namespace corvanthelix::testing;

namespace {

std::string attachmentMail(const std::string& fileName) {
    return "From: a@example.org\r\nSubject: files\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"B\"\r\n\r\n--B\r\nContent-Type: text/plain\r\n\r\nsee\r\n"
           "--B\r\nContent-Disposition: attachment; filename=\"" + fileName + "\"\r\n\r\nQUJD\r\n--B--\r\n";
}

// The fixture's program folder turned into an installed tree: <tmp>/usr with the library under
// lib/corvanthelix/plugins and the user's data under <tmp>/xdg/corvanthelix.
class InstalledPluginData : public PluginFixture {
protected:
    InstalledPluginData() : PluginFixture("") {}

    void SetUp() override {
        PluginFixture::SetUp();
        program.write("usr/share/corvanthelix/spampoints.ini", "");
        program.write("usr/bin/.keep", "");
        program.write("usr/lib/corvanthelix/plugins/.keep", "");
        ProgramPaths paths = ProgramPaths::decide({"", "", program.file("xdg"), "", program.file("usr/bin"), false});
        ASSERT_EQ(paths.layout(), ProgramPaths::Layout::Installed);
        ASSERT_TRUE(Application::instance().setPaths(paths));
        IniFile::clearCache();
    }

    // Puts the built `library` into the installed plug-in folder and loads it; the record, or null.
    PluginRecord* install(const std::string& library) {
        std::string bytes;
        EXPECT_TRUE(readWholeFile(std::string(CORVANTHELIX_PROGRAM_DIR) + "/plugins/" + library, bytes));
        EXPECT_TRUE(replaceFileAtomically(libraryFolder() + "/" + library, bytes, false, 0755));
        manager().loadAll();
        for (PluginRecord* record : manager().records())
            if (record->fileName() == library) return record;
        ADD_FAILURE() << library << " was not loaded";
        return nullptr;
    }

    std::string libraryFolder() const { return program.file("usr/lib/corvanthelix/plugins"); }
    std::string dataFile(const std::string& name) const { return program.file("xdg/corvanthelix/plugins/" + name); }

    int judge(PluginRecord* record, const std::string& source) {
        session.sources[3] = source;
        MailMessage message = parse(source);
        FilterVerdict verdict;
        return manager().pluginVerdict(record, 3, &message, verdict);
    }
};

TEST_F(InstalledPluginData, TheShippedListHoldsUntilTheUserHasOneInTheDataFolder) {
    program.write("usr/lib/corvanthelix/plugins/quillatrest.txt", "exe\n");
    PluginRecord* record = install("quillatrest.so");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(judge(record, attachmentMail("a.exe")), -1);
    EXPECT_EQ(judge(record, attachmentMail("a.zip")), 0);

    program.write("xdg/corvanthelix/plugins/quillatrest.txt", "zip\n");
    ASSERT_TRUE(manager().setEnabled(*record, false));
    ASSERT_TRUE(manager().setEnabled(*record, true));
    EXPECT_EQ(judge(record, attachmentMail("a.zip")), -1) << "the user's own list";
    EXPECT_EQ(judge(record, attachmentMail("a.exe")), 0);
}

TEST_F(InstalledPluginData, LearnedWordsAreKeptInTheDataFolder) {
    PluginRecord* record = install("chisquare.so");
    ASSERT_NE(record, nullptr);
    manager().notifyLearned("From: r@loans.example\r\nSubject: refinance\r\n\r\nlowest rates guaranteed\r\n", true);
    manager().notifyLearned("From: c@work.example\r\nSubject: minutes\r\n\r\nplanning meeting notes\r\n", false);
    EXPECT_EQ(TempFolder::read(dataFile("chisquare/words.db")).rfind("CVXCHISQ", 0), 0u);
    struct stat st {};
    EXPECT_NE(stat((libraryFolder() + "/chisquare").c_str(), &st), 0) << "nothing written beside the library";
    ASSERT_EQ(stat(program.file("xdg/corvanthelix/plugins").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

} // namespace
