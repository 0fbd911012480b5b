// Adding senders from the windows: the sender dialog's checks, the duplicate check and the
// senders of stored message files.
#include "filter/SenderAdding.h"

#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

SenderEntry sender(const std::string& name, const std::string& address, int list) {
    SenderEntry e;
    e.name = name;
    e.address = address;
    e.list = list;
    return e;
}

} // namespace

TEST(SenderAdding, FieldChecksAndTheDomainWildcard) {
    const std::string longest(SenderAdding::kMaxFieldLength, 'a');
    struct Case {
        std::string name, address;
        SenderFieldCheck check;
    } cases[] = {
        {"Jane", "jane@example.org", SenderFieldCheck::Valid},
        {"", "jane@example.org", SenderFieldCheck::Missing},
        {"Jane", "", SenderFieldCheck::Missing},
        {longest, longest, SenderFieldCheck::Valid},
        {longest + "a", "x@y", SenderFieldCheck::TooLong},
    };
    for (const Case& c : cases) EXPECT_EQ(SenderAdding::checkFields(c.name, c.address), c.check) << c.name << "|" << c.address;
    EXPECT_EQ(SenderAdding::normalizedAddress("@example.org"), "*@example.org");
    EXPECT_EQ(SenderAdding::normalizedAddress("jane@example.org"), "jane@example.org");
    EXPECT_EQ(SenderAdding::normalizedAddress(""), "");
}

TEST(SenderAdding, AnAddressListedInAnyCaseIsNotAddedAgainButAPatternDoesNotCount) {
    TempFolder temp;
    const SenderLists lists(temp.path() + "/corvanthelix.ini");
    ASSERT_TRUE(lists.add(sender("Jane", "Jane@Example.org", SenderEntry::kFriend)));
    ASSERT_TRUE(lists.add(sender("Example", "*@example.net", SenderEntry::kBlocked)));

    EXPECT_EQ(SenderAdding::add(lists, sender("Other", "jane@example.org", SenderEntry::kBlocked)),
              SenderAddOutcome::AlreadyListed);
    SenderEntry found;
    ASSERT_TRUE(lists.findByAddress("jane@example.org", found));
    EXPECT_EQ(found.list, SenderEntry::kFriend) << "the listed entry stays as it was";

    EXPECT_EQ(SenderAdding::add(lists, sender("Bob", "bob@example.net", SenderEntry::kFriend)), SenderAddOutcome::Added);
    ASSERT_TRUE(lists.findByAddress("bob@example.net", found));
    EXPECT_EQ(found.list, SenderEntry::kFriend);

    EXPECT_EQ(SenderAdding::add(lists, sender("Back`quote", "q@example.org", SenderEntry::kBlocked)),
              SenderAddOutcome::Refused);
    EXPECT_EQ(SenderAdding::add(lists, sender("Everyone", "*@*", SenderEntry::kBlocked)), SenderAddOutcome::Refused);
}

TEST(SenderAdding, SendersOfMessageFilesSkipUnreadableAndSenderless) {
    TempFolder temp;
    const std::string withSender = temp.write("a.recycle", "From: \"Jane Doe\" <jane@example.org>\r\nSubject: x\r\n\r\nhi\r\n");
    const std::string without = temp.write("b.recycle", "Subject: no sender\r\n\r\nhi\r\n");
    const auto senders =
        SenderAdding::sendersOfFiles({withSender, without, temp.path() + "/missing.recycle"}, SenderEntry::kBlocked);
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0].name, "Jane Doe");
    EXPECT_EQ(senders[0].address, "jane@example.org");
    EXPECT_EQ(senders[0].list, SenderEntry::kBlocked);
    EXPECT_EQ(SenderAdding::manySendersQuestion(SenderEntry::kFriend), 238);
    EXPECT_EQ(SenderAdding::manySendersQuestion(SenderEntry::kBlocked), 237);
}
