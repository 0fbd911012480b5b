#include "attachment/AttachmentCheck.h"
#include "common/TextLineList.h"
#include "tests/fakes/PluginFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

using namespace corvanthelix;
using namespace corvanthelix::testing;

namespace {

// A message with a text part and one attachment part whose header lines are `attachmentHeaders`.
std::string withAttachment(const std::string& attachmentHeaders) {
    return "From: sender@example.org\r\n"
           "To: user@example.org\r\n"
           "Subject: your documents\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"OUTER\"\r\n"
           "\r\n"
           "--OUTER\r\n"
           "Content-Type: text/plain\r\n"
           "\r\n"
           "Please see the attachment.\r\n"
           "--OUTER\r\n" +
           attachmentHeaders +
           "\r\n"
           "\r\n"
           "TVqQAAMAAAAEAAAA\r\n"
           "--OUTER--\r\n";
}

class AttachmentPluginTest : public PluginFixture {
protected:
    AttachmentPluginTest() : PluginFixture("quillatrest.so") {}

    // Runs the plug-in over `source` as message 3; the answer, with the verdict in `verdict`.
    int judge(PluginRecord* record, const std::string& source, FilterVerdict& verdict) {
        MailMessage message = parse(source);
        return manager().pluginVerdict(record, 3, &message, verdict);
    }
};

TEST_F(AttachmentPluginTest, DescribesItselfToTheHostAsAPartFilter) {
    program.write("plugins/quillatrest.txt", "exe\n");
    PluginRecord* record = load();
    ASSERT_NE(record, nullptr);
    const PluginInfo& info = *record->info;
    EXPECT_EQ(record->name(), "Attachment Filter");
    EXPECT_EQ(info.version, 2304u);
    EXPECT_EQ(info.neededHostVersion, 2310u);
    EXPECT_STREQ(info.description, "Protects your computer from some e-mail viruses. Now fully configurable!");
    EXPECT_NE(info.partFilter, nullptr);
    EXPECT_EQ(info.textFilter, nullptr);
    EXPECT_EQ(info.plainTextFilter, nullptr);
    EXPECT_EQ(info.sourceFilter, nullptr);
    EXPECT_NE(info.cleanup, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(manager().sendService(*record, CVX_SERVICE_NAME, 0, 0)),
                 "Attachment Filter");
    EXPECT_EQ(manager().filterPlugins(), std::vector<PluginRecord*>{record});
    EXPECT_FALSE(manager().asksToRunFirst(record));
    EXPECT_EQ(manager().sendService(*record, CVX_SERVICE_DELIVERY_MODE, 0, 0), 0) << "no after-delivery pass";
    EXPECT_EQ(manager().sendService(*record, 0x777, 1, 2), 0);
}

TEST_F(AttachmentPluginTest, BlocksAttachedFilesWhoseExtensionIsListed) {
    // The list file as a user may leave it: an empty line, a Windows line end.
    program.write("plugins/quillatrest.txt", "exe\n\npif\nscr\r\nvbs\n");
    PluginRecord* record = load();
    ASSERT_NE(record, nullptr);

    struct Case {
        const char* name;
        std::string headers;
        int answer;
        const char* reason;
    } cases[] = {
        {"listed in other case; the reason keeps the file's case",
         "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"Screen.PIF\"", -1,
         ".PIF"},
        {"quoted name with a semicolon is read whole",
         "Content-Disposition: attachment; filename=\"notes; part 2.exe\"", -1, ".exe"},
        {"quoted name with a semicolon before a harmless extension",
         "Content-Disposition: attachment; filename=\"setup.exe; readme.txt\"", 0, ""},
        {"name in an encoded word (base64)",
         "Content-Disposition: attachment; filename=\"=?utf-8?B?UmVjaG51bmcuc2Ny?=\"", -1, ".scr"},
        {"name in an encoded word (Q)",
         "Content-Disposition: attachment;\r\n filename=\"=?iso-8859-1?Q?B=FCro.vbs?=\"", -1, ".vbs"},
        {"a name without a dot never matches", "Content-Disposition: attachment; filename=\"exe\"", 0, ""},
        {"a name ending in a dot has no extension", "Content-Disposition: attachment; filename=\"virus.exe.\"", 0, ""},
        {"only the last dot counts", "Content-Disposition: attachment; filename=\"virus.exe.txt\"", 0, ""},
        {"extension not listed", "Content-Disposition: attachment; filename=\"holiday.jpg\"", 0, ""},
        {"name parameter of Content-Type", "Content-Type: application/octet-stream; name=update.exe", -1, ".exe"},
        {"header and parameter names in other case", "content-disposition: attachment; FILENAME = 'Card.Scr' ", -1,
         ".Scr"},
        {"a quote inside a bare name does not hide the extension",
         "Content-Disposition: attachment; filename=doc'.pif; size=1200", -1, ".pif"},
        {"name split into numbered parameters: every occurrence is tried",
         "Content-Disposition: attachment; filename*0=\"invoice\"; filename*1=\".exe\"", -1, ".exe"},
        {"filename in another header does not count", "X-Original: attachment; filename=\"old.exe\"", 0, ""},
        {"name parameter in Content-Disposition does not count",
         "Content-Disposition: attachment; name=\"tool.exe\"; filename=\"tool.txt\"", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FilterVerdict verdict;
        EXPECT_EQ(judge(record, withAttachment(c.headers), verdict), c.answer);
        EXPECT_STREQ(verdict.reason, c.reason);
        EXPECT_EQ(verdict.probability, 0.0);
    }
}

TEST_F(AttachmentPluginTest, FindsAnAttachmentAnywhereInTheMessage) {
    program.write("plugins/quillatrest.txt", "exe\n");
    PluginRecord* record = load();
    ASSERT_NE(record, nullptr);
    std::string nested = "Subject: nested\r\n"
                         "Content-Type: multipart/mixed; boundary=\"A\"\r\n\r\n"
                         "--A\r\nContent-Type: text/plain\r\n\r\nhello\r\n"
                         "--A\r\nContent-Type: multipart/alternative; boundary=\"B\"\r\n\r\n"
                         "--B\r\nContent-Type: text/plain\r\n\r\ninner\r\n"
                         "--B\r\nContent-Type: application/x-msdownload; name=\"deep.EXE\"\r\n\r\nMZ\r\n"
                         "--B--\r\n"
                         "--A--\r\n";
    std::string single = "Subject: single part\r\nContent-Type: application/octet-stream; name=\"x.exe\"\r\n\r\nMZ\r\n";
    for (const std::string& source : {nested, single}) {
        FilterVerdict verdict;
        EXPECT_EQ(judge(record, source, verdict), -1);
        EXPECT_STREQ(verdict.reason, source == nested ? ".EXE" : ".exe");
    }
    FilterVerdict verdict;
    EXPECT_EQ(judge(record, "Subject: plain\r\n\r\nfilename=\"body.exe\"\r\n", verdict), 0)
        << "only headers are read";
}

TEST_F(AttachmentPluginTest, ReportsTheExtensionToTheRunningMailCheckOutsideTheChain) {
    program.write("plugins/quillatrest.txt", "pif\n");
    PluginRecord* record = load();
    ASSERT_NE(record, nullptr);
    session.sources[5] = withAttachment("Content-Disposition: attachment; filename=\"a.PIF\"");
    MailMessage message = parse(session.sources[5]);
    // The part filter called directly, as a chain without a verdict in the making would.
    double probability = 0.7;
    EXPECT_EQ(record->info->partFilter(5, message.root()->firstChild->next, &probability), -1);
    EXPECT_EQ(probability, 0.0);
    EXPECT_EQ(session.reasons[5], ".PIF");
}

TEST_F(AttachmentPluginTest, WithoutAListFileNothingIsBlocked) {
    PluginRecord* record = load();
    ASSERT_NE(record, nullptr);
    FilterVerdict verdict;
    EXPECT_EQ(judge(record, withAttachment("Content-Disposition: attachment; filename=\"a.exe\""), verdict), 0);
}

TEST_F(AttachmentPluginTest, TheShippedListBlocksExecutablesAndScriptsButNotDocuments) {
    std::string shipped;
    ASSERT_TRUE(readWholeFile(std::string(CORVANTHELIX_PROGRAM_DIR) + "/plugins/quillatrest.txt", shipped))
        << "the default list is staged beside the library";
    program.write("plugins/quillatrest.txt", shipped);
    PluginRecord* record = load();
    ASSERT_NE(record, nullptr);
    struct Case {
        const char* file;
        bool blocked;
    } cases[] = {
        {"setup.exe", true},  {"screen.scr", true}, {"photo.jpg.pif", true}, {"run.bat", true},
        {"run.cmd", true},    {"x.com", true},      {"love.vbs", true},      {"a.js", true},
        {"b.wsf", true},      {"c.hta", true},      {"d.lnk", true},         {"e.cpl", true},
        {"f.msi", true},      {"g.jar", true},      {"h.ps1", true},         {"i.reg", true},
        {"report.pdf", false}, {"photo.jpg", false}, {"notes.txt", false},   {"letter.doc", false},
        {"sheet.xlsx", false}, {"archive.zip", false}, {"page.html", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        FilterVerdict verdict;
        std::string headers = std::string("Content-Disposition: attachment; filename=\"") + c.file + "\"";
        EXPECT_EQ(judge(record, withAttachment(headers), verdict), c.blocked ? -1 : 0);
    }
}

TEST_F(AttachmentPluginTest, DisablingAndEnablingReadsTheListAgain) {
    program.write("plugins/quillatrest.txt", "exe\n");
    PluginRecord* record = load();
    ASSERT_NE(record, nullptr);
    std::string zip = withAttachment("Content-Disposition: attachment; filename=\"a.zip\"");
    FilterVerdict verdict;
    EXPECT_EQ(judge(record, zip, verdict), 0);

    ASSERT_TRUE(manager().setEnabled(*record, false));
    EXPECT_FALSE(libraryInProcess(libraryPath())) << "the library leaves the process when released";
    program.write("plugins/quillatrest.txt", "exe\nzip\n");
    ASSERT_TRUE(manager().setEnabled(*record, true));
    EXPECT_EQ(judge(record, zip, verdict), -1);
    EXPECT_EQ(judge(record, withAttachment("Content-Type: application/x; name=b.exe"), verdict), -1);
}

// --- The list file itself (the settings page edits and saves it) ---------------------------------

TEST(ExtensionList, ReadsLinesToTheHeadAndSavesFromTheHead) {
    TempFolder folder;
    std::string path = folder.write("quillatrest.txt", "exe\r\n\npif\n" + std::string(300, 'x') + "\nscr");
    plugin::TextLineList list(259);
    ASSERT_TRUE(list.Load(path));
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"scr", std::string(259, 'x'), "pif", "exe"}))
        << "a long line is cut, and its rest is no entry of its own";

    EXPECT_EQ(list.Add("BAT"), plugin::TextLineList::AddResult::Added);
    EXPECT_EQ(list.Add("Pif"), plugin::TextLineList::AddResult::Duplicate);
    EXPECT_EQ(list.Add(""), plugin::TextLineList::AddResult::Empty);
    EXPECT_TRUE(list.Remove("SCR"));
    EXPECT_FALSE(list.Remove("com"));
    ASSERT_TRUE(list.Save(path));
    EXPECT_EQ(TempFolder::read(path), "BAT\n" + std::string(259, 'x') + "\npif\nexe\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_FALSE(list.Save(folder.file("missing/quillatrest.txt")));
    plugin::TextLineList missing(259);
    EXPECT_FALSE(missing.Load(folder.file("none.txt")));
    EXPECT_TRUE(missing.Entries().empty());
}

TEST(ExtensionList, ATypedExtensionIsStoredWithoutBlanksAndDots) {
    struct Case {
        const char* typed;
        const char* stored;
    } cases[] = {{" .exe\t", "exe"}, {"..scr..", "scr"}, {"tar.gz", "tar.gz"}, {" . ", ""}, {"pif", "pif"}};
    for (const Case& c : cases) EXPECT_EQ(quillatrest::NormalizeExtension(c.typed), c.stored) << c.typed;
}

} // namespace
