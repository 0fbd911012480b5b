// The known hosts dialog's rows over the host list: delete, edit (also renaming an account),
// forgetting pins, and OK's TLS flags, each checked in the file.
#include "proxy/KnownHostRows.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

std::string fingerprint(const std::string& pair) {
    std::string out = pair;
    for (int i = 1; i < 32; ++i) out += ":" + pair;
    return out;
}

class KnownHostRowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = folder_.file(HostList::kFileName);
        HostList hosts;
        ASSERT_TRUE(hosts.load(path_));
        hosts.update(HostEntry{"pop.one.example", "ann", 110, false, true, std::nullopt});
        hosts.update(HostEntry{"pop.two.example", "bob", 995, true, true, std::nullopt});
        ASSERT_TRUE(hosts.save());
        ASSERT_TRUE(HostList::storePassword(path_, "pop.two.example", "bob", "pw"));
        ASSERT_TRUE(HostList::pinCertificate(path_, "pop.two.example", "bob", 995, fingerprint("CD")));
        rows_ = KnownHostRows(path_);
        ASSERT_TRUE(rows_.reload());
    }
    HostEntry stored(const std::string& server, const std::string& user) {
        HostList hosts;
        hosts.load(path_);
        HostEntry entry;
        found_ = hosts.find(entry, server, user);
        return entry;
    }

    TempFolder folder_;
    std::string path_;
    KnownHostRows rows_{""};
    bool found_ = false;
};

TEST_F(KnownHostRowsTest, RowsShowAccountsWithTheirPins) {
    ASSERT_EQ(rows_.rows().size(), 2u);
    EXPECT_EQ(rows_.rows()[0].account.server, "pop.one.example");
    EXPECT_EQ(rows_.rows()[0].pinText(), "");
    EXPECT_EQ(rows_.rows()[1].pinText(), "995: " + fingerprint("CD"));
}

TEST_F(KnownHostRowsTest, EditDeleteForgetAndFlagsReachTheFile) {
    // OK writes the check boxes; nothing before.
    rows_.setSecure(0, true);
    EXPECT_FALSE(stored("pop.one.example", "ann").secure);
    ASSERT_TRUE(rows_.storeSecureFlags());
    EXPECT_TRUE(stored("pop.one.example", "ann").secure);
    EXPECT_TRUE(stored("pop.two.example", "bob").obscuredPassword.has_value());

    // Editing the port keeps the password and the pin; renaming drops the password only.
    HostEntry changed = rows_.rows()[1].account;
    changed.port = 1995;
    ASSERT_TRUE(rows_.edit(1, changed));
    EXPECT_EQ(stored("pop.two.example", "bob").port, 1995);
    EXPECT_TRUE(stored("pop.two.example", "bob").obscuredPassword.has_value());
    EXPECT_EQ(rows_.rows()[1].pins.size(), 1u);
    changed.user = "robert";
    ASSERT_TRUE(rows_.edit(1, changed));
    stored("pop.two.example", "bob");
    EXPECT_FALSE(found_);
    EXPECT_FALSE(stored("pop.two.example", "robert").obscuredPassword.has_value());
    EXPECT_FALSE(rows_.edit(1, HostEntry{}));

    // Forgetting the pins of an account that has some.
    ASSERT_TRUE(HostList::pinCertificate(path_, "pop.one.example", "ann", 995, fingerprint("EF")));
    ASSERT_TRUE(rows_.reload());
    size_t ann = 0;
    while (ann < rows_.rows().size() && rows_.rows()[ann].account.user != "ann") ++ann;
    ASSERT_LT(ann, rows_.rows().size());
    EXPECT_TRUE(rows_.forgetPins(ann));
    EXPECT_FALSE(rows_.forgetPins(ann));
    EXPECT_TRUE(HostList::pinsOf(path_, "pop.one.example").empty());

    ASSERT_TRUE(rows_.remove(ann));
    EXPECT_EQ(rows_.rows().size(), 1u);
    stored("pop.one.example", "ann");
    EXPECT_FALSE(found_);
    EXPECT_FALSE(rows_.remove(5));
}

} // namespace
