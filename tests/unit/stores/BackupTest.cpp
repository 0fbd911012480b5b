#include "stores/Backup.h"
#include "stores/BackupArchive.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;
namespace fs = std::filesystem;

namespace {

void put32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

/// A directory entry as it goes into a hand-built archive; offset and size default to the data's.
struct RawEntry {
    std::string name;
    std::string data;
    std::optional<uint32_t> offset = std::nullopt;
    std::optional<uint32_t> size = std::nullopt;
};

/// Builds an archive byte for byte in the program's backup layout, with every field overridable
/// so that a test can write what a damaged or hostile file holds.
std::string rawArchive(const std::vector<RawEntry>& entries, std::optional<uint32_t> count = {},
                       std::optional<uint32_t> directoryOffset = {}, uint32_t version = 1) {
    std::string out;
    std::vector<uint32_t> offsets;
    for (const RawEntry& entry : entries) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        out += entry.data;
    }
    const uint32_t directory = static_cast<uint32_t>(out.size());
    put32(out, version);
    put32(out, count.value_or(static_cast<uint32_t>(entries.size())));
    for (size_t i = 0; i < entries.size(); ++i) {
        put32(out, static_cast<uint32_t>(entries[i].name.size()));
        out += entries[i].name;
        put32(out, entries[i].offset.value_or(offsets[i]));
        put32(out, entries[i].size.value_or(static_cast<uint32_t>(entries[i].data.size())));
    }
    put32(out, directoryOffset.value_or(directory));
    return out;
}

/// Every file under `folder`, by path relative to it, with its bytes.
std::map<std::string, std::string> snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        const std::string relative = fs::relative(item.path(), folder).string();
        files[relative] = item.is_regular_file() ? TempFolder::read(item.path().string()) : std::string("<dir>");
    }
    return files;
}

BackupParts allParts() { return BackupParts{true, true, true, true, true}; }

/// A program folder with something in every store.
void fillProgramFolder(const TempFolder& home) {
    home.write("corvanthelix.ini", "[CORVANTHELIX]\r\nAggressiveness=75\r\n[SENDERS]\r\nfriend=a@b.example\r\n");
    home.write("spampoints_user.ini", "[PROBABILITIES]\r\nviagra=99\r\n");
    for (int i = 0; i < 4; ++i)
        home.write("recycle/2460" + std::to_string(i) + "_120000_1f.recycle",
                   "Subject: spam " + std::to_string(i) + "\r\n\r\n" + std::string(900, static_cast<char>('a' + i)));
    home.write("recycle/recyclebin.xml", "<recyclebin><recyclefile name=\"x\"/></recyclebin>");
    home.write("training/1a2b.eml", "Subject: hello\r\n\r\nbody\r\n");
    home.write("training/3c4d.eml", std::string("Subject: binary\r\n\r\n\0\x01\xff", 22));
    home.write("training/training.xml", "<training><message file=\"1a2b.eml\"/></training>");
    home.write("training/good.corvanthelix.wordlist", "good words");
    home.write("training/bad.corvanthelix.wordlist", "bad words");
}

Backup::Options optionsFor(const TempFolder& home) {
    Backup::Options options;
    options.programFolder = home.path();
    return options;
}

} // namespace

TEST(BackupTest, RoundTripOfEveryPartRestoresEveryFileByteForByte) {
    TempFolder source;
    TempFolder target;
    TempFolder outside;
    fillProgramFolder(source);
    const std::string path = outside.file("all.corvanthelix.backup");
    bool recycleFolded = false;
    Backup::Options exportOptions = optionsFor(source);
    exportOptions.beforeRecycleRead = [&] { recycleFolded = true; };
    ASSERT_TRUE(Backup::exportTo(path, allParts(), exportOptions).ok());
    EXPECT_TRUE(recycleFolded);

    BackupArchive archive;
    ASSERT_EQ(archive.open(path), ArchiveOutcome::Ok);
    std::vector<std::string> names;
    for (const ArchiveEntry& entry : archive.entries()) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"corvanthelix.ini", "spampoints_user.ini", "recycle.corvanthelix.backup",
                                               "training.corvanthelix.backup", "good.corvanthelix.wordlist",
                                               "bad.corvanthelix.wordlist"}));

    BackupResult imported = Backup::importFrom(path, allParts(), optionsFor(target));
    ASSERT_TRUE(imported.ok()) << imported.reason;
    EXPECT_EQ(snapshot(target.path()), snapshot(source.path()));
    EXPECT_EQ(imported.replaced, (std::vector<std::string>{"corvanthelix.ini", "spampoints_user.ini", "recycle/", "training/"}));
}

TEST(BackupTest, ExportOfTheConfigurationAloneIsExactlyTheKnownLayout) {
    TempFolder home;
    home.write("corvanthelix.ini", "abc");
    home.write("spampoints_user.ini", "not wanted");
    const std::string path = home.file("only.corvanthelix.backup");
    ASSERT_TRUE(Backup::exportTo(path, BackupParts{true, false, false, false, false}, optionsFor(home)).ok());
    EXPECT_EQ(TempFolder::read(path), rawArchive({{"corvanthelix.ini", "abc"}}));
}

TEST(BackupTest, InnerRecycleArchiveWithoutMessagesLeavesOnlyItsIndex) {
    TempFolder home;
    fillProgramFolder(home);
    const std::string inner = rawArchive({{"recyclebin.xml", "<recyclebin/>"}});
    home.write("b.corvanthelix.backup", rawArchive({{"recycle.corvanthelix.backup", inner}}));
    BackupParts parts{false, false, false, true, false};
    ASSERT_TRUE(Backup::importFrom(home.file("b.corvanthelix.backup"), parts, optionsFor(home)).ok());
    std::vector<std::string> left;
    for (const auto& item : fs::directory_iterator(home.file("recycle"))) left.push_back(item.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"recyclebin.xml"});
    EXPECT_EQ(TempFolder::read(home.file("recycle/recyclebin.xml")), "<recyclebin/>");
}

TEST(BackupTest, NamesMatchWithoutCaseAndEmptyOrUncheckedEntriesLeaveTheCurrentFiles) {
    TempFolder home;
    fillProgramFolder(home);
    const std::string innerTraining =
        rawArchive({{"9f.eml", "Subject: new\r\n\r\n"}, {"training.xml", "<training/>"},
                    {"GOOD.corvanthelix.wordlist", "inner good"}});
    home.write("b.corvanthelix.backup",
               rawArchive({{"CORVANTHELIX.INI", "[CORVANTHELIX]\r\n"},
                           {"SpamPoints_User.ini", ""},
                           {"Training.Corvanthelix.Backup", innerTraining},
                           {"bad.CORVANTHELIX.wordlist", "imported bad"}}));
    const auto before = snapshot(home.path());
    // Memory unchecked: the word lists of the training folder survive the folder's replacement.
    BackupParts parts{true, true, false, false, true};
    BackupResult result = Backup::importFrom(home.file("b.corvanthelix.backup"), parts, optionsFor(home));
    ASSERT_TRUE(result.ok()) << result.reason;
    EXPECT_EQ(TempFolder::read(home.file("corvanthelix.ini")), "[CORVANTHELIX]\r\n");
    for (const auto& item : fs::directory_iterator(home.path()))
        EXPECT_NE(item.path().filename().string().rfind(".import-", 0), 0u) << "staging folder left behind";
    EXPECT_EQ(TempFolder::read(home.file("spampoints_user.ini")), before.at("spampoints_user.ini"));
    EXPECT_FALSE(fs::exists(home.file("training/1a2b.eml")));
    EXPECT_EQ(TempFolder::read(home.file("training/9f.eml")), "Subject: new\r\n\r\n");
    EXPECT_EQ(TempFolder::read(home.file("training/good.corvanthelix.wordlist")), "good words");
    EXPECT_EQ(TempFolder::read(home.file("training/bad.corvanthelix.wordlist")), "bad words");
    EXPECT_EQ(TempFolder::read(home.file("recycle/recyclebin.xml")), before.at("recycle/recyclebin.xml"));

    // With the memory the outer list wins over the inner one, and both lists are taken.
    ASSERT_TRUE(Backup::importFrom(home.file("b.corvanthelix.backup"), BackupParts{false, false, true, false, true},
                                   optionsFor(home)).ok());
    EXPECT_EQ(TempFolder::read(home.file("training/good.corvanthelix.wordlist")), "inner good");
    EXPECT_EQ(TempFolder::read(home.file("training/bad.corvanthelix.wordlist")), "imported bad");
}

TEST(BackupTest, HostileOrDamagedArchivesAreRefusedWithTheProgramFolderUnchanged) {
    TempFolder home;
    TempFolder outside;
    fillProgramFolder(home);
    const std::string valid = outside.file("valid.corvanthelix.backup");
    ASSERT_TRUE(Backup::exportTo(valid, allParts(), optionsFor(home)).ok());
    const std::string good = TempFolder::read(valid);
    ASSERT_GT(good.size(), 4096u);

    std::string corruptInner = rawArchive({{"recyclebin.xml", "<recyclebin/>"}});
    corruptInner[corruptInner.size() - 4] = '\x7f'; // its directory offset now points past its end
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"directory offset past the end", rawArchive({{"corvanthelix.ini", "x"}}, {}, 0x7fffffff)},
        {"entry past the end", rawArchive({{"corvanthelix.ini", "x", 0, 4096}})},
        {"entry offset past the end", rawArchive({{"corvanthelix.ini", "x", 0xfffffff0, 1}})},
        {"count 2^31", rawArchive({{"corvanthelix.ini", "x"}}, 0x80000000u)},
        {"version 2", rawArchive({{"corvanthelix.ini", "x"}}, {}, {}, 2)},
        {"parent folder", rawArchive({{"../../x", "x"}})},
        {"absolute path", rawArchive({{"/etc/x", "x"}})},
        {"backslash", rawArchive({{"a\\b", "x"}})},
        {"NUL in a name", rawArchive({{std::string("corvanthelix.ini\0x", 18), "x"}})},
        {"duplicate names", rawArchive({{"corvanthelix.ini", "x"}, {"CORVANTHELIX.ini", "y"}})},
        {"corrupt inner archive", rawArchive({{"corvanthelix.ini", "x"}, {"recycle.corvanthelix.backup", corruptInner}})},
        {"hostile inner name", rawArchive({{"training.corvanthelix.backup", rawArchive({{"..", "x"}})}})},
        {"too short", std::string("\x01\0\0\0", 4)},
    };
    std::vector<std::pair<std::string, std::string>> all = cases;
    for (size_t cut = 1024; cut < good.size(); cut += 1024)
        all.emplace_back("truncated at " + std::to_string(cut), good.substr(0, cut));

    const auto before = snapshot(home.path());
    for (const auto& [label, bytes] : all) {
        const std::string path = outside.write("hostile.corvanthelix.backup", bytes);
        bool replaceCalled = false;
        Backup::Options options = optionsFor(home);
        options.beforeReplace = [&] { replaceCalled = true; };
        BackupResult result = Backup::importFrom(path, allParts(), options);
        EXPECT_EQ(result.outcome, BackupOutcome::DamagedArchive) << label << ": " << result.reason;
        EXPECT_FALSE(result.reason.empty()) << label;
        EXPECT_FALSE(replaceCalled) << label;
        EXPECT_EQ(snapshot(home.path()), before) << label;
    }
}

TEST(BackupTest, AHugeNameLengthOrCountIsRefusedWithoutAllocatingIt) {
    std::string bytes;
    put32(bytes, 1);
    put32(bytes, 1);
    put32(bytes, 0xfffffff0u); // name length
    bytes += std::string(9, 'n');
    put32(bytes, 0);           // directory at offset 0
    BackupArchive archive;
    EXPECT_EQ(archive.openMemory(bytes), ArchiveOutcome::BadName);
    EXPECT_EQ(archive.openMemory(rawArchive({}, 0xffffffffu)), ArchiveOutcome::BadCount);
    EXPECT_TRUE(archive.entries().empty());
}

TEST(BackupTest, PartListsOfTheCommandLine) {
    EXPECT_EQ(Backup::parseParts("ini,spamwords,memory,recycle,training"), allParts());
    EXPECT_EQ(Backup::parseParts("Recycle"), (BackupParts{false, false, false, true, false}));
    EXPECT_EQ(Backup::parseParts(""), std::nullopt);
    EXPECT_EQ(Backup::parseParts("ini,,memory"), std::nullopt);
    EXPECT_EQ(Backup::parseParts("ini,mail"), std::nullopt);
}

TEST(BackupTest, AFailedExportLeavesNoFileUnderTheChosenName) {
    TempFolder home;
    TempFolder outside;
    fillProgramFolder(home);
    // A source that exists but cannot be read as a file must fail the export, not become an
    // empty entry that an import would silently skip.
    fs::remove(home.file("spampoints_user.ini"));
    fs::create_directory(home.file("spampoints_user.ini"));
    BackupResult result = Backup::exportTo(outside.file("out.corvanthelix.backup"), allParts(), optionsFor(home));
    EXPECT_EQ(result.outcome, BackupOutcome::CannotWrite);
    EXPECT_TRUE(fs::is_empty(outside.path())) << "no archive and no temporary file";
}

TEST(BackupTest, AReplacementThatFailsPutsBackWhatWasAlreadySwapped) {
    TempFolder home;
    TempFolder outside;
    home.write("corvanthelix.ini", "old settings");
    // A file where the training folder belongs: the word list cannot be put in place after the
    // settings file was already swapped.
    home.write("training", "not a folder");
    const std::string path = outside.write("b.corvanthelix.backup",
                                           rawArchive({{"corvanthelix.ini", "new settings"},
                                                       {"good.corvanthelix.wordlist", "words"}}));
    const auto before = snapshot(home.path());
    bool released = false;
    Backup::Options options = optionsFor(home);
    options.beforeReplace = [&] { released = true; };
    BackupResult result = Backup::importFrom(path, BackupParts{true, false, true, false, false}, options);
    EXPECT_EQ(result.outcome, BackupOutcome::CannotReplace);
    EXPECT_TRUE(released);
    EXPECT_TRUE(result.replaced.empty());
    EXPECT_EQ(snapshot(home.path()), before);
}
