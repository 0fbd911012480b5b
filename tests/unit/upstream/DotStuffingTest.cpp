#include "upstream/DotStuffing.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvanthelix;

namespace {

struct StuffingCase {
    const char* name;
    std::string message; // the message itself
    std::string wire;    // the answer body on the wire, before the terminating line
};

const StuffingCase kCases[] = {
    {"no dot lines", "Subject: a\r\n\r\nbody\r\n", "Subject: a\r\n\r\nbody\r\n"},
    {"a dot line", "Subject: a\r\n\r\n.x\r\n", "Subject: a\r\n\r\n..x\r\n"},
    {"two dots and a lone dot", "S: a\r\n\r\n..y\r\n.\r\nz\r\n", "S: a\r\n\r\n...y\r\n..\r\nz\r\n"},
    {"dot on the first line", ".first\r\nS: a\r\n\r\n", "..first\r\nS: a\r\n\r\n"},
    {"dot as the last line", "S: a\r\n\r\nx\r\n.\r\n", "S: a\r\n\r\nx\r\n..\r\n"},
    {"dots in a row", "S: a\r\n\r\n.\r\n.\r\n.\r\n", "S: a\r\n\r\n..\r\n..\r\n..\r\n"},
    {"dot after a bare line feed is no line start", "S: a\r\n\r\nx\n.y\r\n", "S: a\r\n\r\nx\n.y\r\n"},
    {"dot after a bare carriage return", "S: a\r\n\r\nx\r.y\r\n", "S: a\r\n\r\nx\r.y\r\n"},
    {"dot inside a line", "S: a\r\n\r\nx.y\r\n", "S: a\r\n\r\nx.y\r\n"},
    {"NUL bytes stay", std::string("S: a\r\n\r\n.\0x\r\n", 13), std::string("S: a\r\n\r\n..\0x\r\n", 14)},
};

} // namespace

TEST(DotStuffing, StuffingAndItsUndoingAreInverse) {
    for (const StuffingCase& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dotStuffed(c.message), c.wire);
        EXPECT_EQ(needsDotStuffing(c.message), c.message != c.wire);
        std::string received = c.wire;
        undoDotStuffing(received);
        EXPECT_EQ(received, c.message);
    }
}

TEST(DotStuffing, LoneDotLineFromAServerThatDoesNotStuffStays) {
    // Such a server sends a text line "." as ".\r\n" followed by more text: it is not the end,
    // and there is no stuffing to undo on it.
    std::string received = "S: a\r\n\r\nabove\r\n.\r\nbelow\r\n..x\r\n";
    undoDotStuffing(received);
    EXPECT_EQ(received, "S: a\r\n\r\nabove\r\n.\r\nbelow\r\n.x\r\n");
}

TEST(DotStuffing, TheEndLineFollowsTheLastLineEnd) {
    EXPECT_EQ(multiLineEnd("S: a\r\n\r\nbody\r\n"), ".\r\n");
    EXPECT_EQ(multiLineEnd(""), ".\r\n");
    EXPECT_EQ(multiLineEnd("S: a\r\n\r\nno line end"), "\r\n.\r\n");
    EXPECT_EQ(multiLineEnd("S: a\r\n\r\nbare line feed\n"), "\r\n.\r\n");
}
