// Fuzz target: the message model reading a mail from any sender. Parses the input as a whole
// message and as a TOP download, walks the part tree the plug-ins see, and asks for the body text
// and the date. Checks: the source is kept byte for byte (NUL bytes included), a TOP download
// keeps a prefix of the text, every part and header lies inside the message, the body text is
// never longer than the message, Copy reproduces the message, a date is a real calendar date, and
// the header of a TOP download reads as the header of the whole message.
#include "upstream/MailMessage.h"
#include "fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>

using namespace corvanthelix;

namespace {

bool inside(const char* pointer, const char* begin, const char* end) { return pointer >= begin && pointer <= end; }

void checkPart(const MessagePart* part, const MessagePart* root, const char* begin, const char* end, int depth) {
    FUZZ_CHECK(depth < 10000);
    FUZZ_CHECK(part->root == root);
    if (part->textLength == 0) {
        // A part with neither header nor body may be the empty string outside the message.
        FUZZ_CHECK(inside(part->text, begin, end) || *part->text == '\0');
        return;
    }
    FUZZ_CHECK(inside(part->text, begin, end));
    FUZZ_CHECK(part->textLength <= static_cast<size_t>(end - part->text));
    if (part->body != nullptr && *part->body != '\0') {
        FUZZ_CHECK(inside(part->body, part->text, part->text + part->textLength));
    }
    if (part->boundary != nullptr) (void)std::strlen(part->boundary);
    for (const HeaderField* header = part->headers; header; header = header->next) {
        FUZZ_CHECK(header->name != nullptr && header->value != nullptr);
        FUZZ_CHECK(std::strlen(header->name) <= 254);
        FUZZ_CHECK(std::strlen(header->value) <= 1023);
    }
    for (const MessagePart* child = part->firstChild; child; child = child->next) {
        if (child->textLength == 0) {
            checkPart(child, root, begin, end, depth + 1);
            continue;
        }
        FUZZ_CHECK(child->text >= part->text);
        FUZZ_CHECK(child->text + child->textLength <= part->text + part->textLength);
        checkPart(child, root, begin, end, depth + 1);
    }
}

void checkModel(const MailMessage& message) {
    const MessagePart* root = message.root();
    if (message.size() == 0) {
        FUZZ_CHECK(root == nullptr);
        FUZZ_CHECK(!message.bodyText(false).has_value());
        return;
    }
    FUZZ_CHECK(root != nullptr);
    FUZZ_CHECK(root->textLength == message.size());
    checkPart(root, root, root->text, root->text + root->textLength, 0);

    for (bool stripHtml : {false, true}) {
        std::optional<std::string> body = message.bodyText(stripHtml);
        FUZZ_CHECK(body.has_value());
        FUZZ_CHECK(body->size() <= message.size());
    }
    (void)message.headerByName("Subject");
    (void)message.headerByKind(CVX_HEADER_FROM | CVX_HEADER_OTHER);
    for (const std::optional<MessageDate>& date : {message.dateUtc(), message.date()}) {
        if (!date) continue;
        FUZZ_CHECK(date->month >= 1 && date->month <= 12);
        FUZZ_CHECK(date->day >= 1 && date->day <= 31);
        FUZZ_CHECK(date->hour >= 0 && date->hour <= 23);
        FUZZ_CHECK(date->minute >= 0 && date->minute <= 59);
        FUZZ_CHECK(date->second >= 0 && date->second <= 60);
    }
}

// The header records of a part as plain values, for comparing two parses.
std::string headerList(const MessagePart* part) {
    std::string out;
    for (const HeaderField* header = part ? part->headers : nullptr; header; header = header->next) {
        out.append(header->name).append(1, '\0').append(header->value).append(1, '\0');
        out.append(std::to_string(header->kind)).append(1, '\0');
        for (uint32_t length : header->folding) out.append(std::to_string(length)).append(1, ',');
        out.append(1, '\n');
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int topLines = input.ConsumeIntegralInRange<int>(-2, 40);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const std::string& kept = text;

    MailMessage message;
    message.parse(text);
    FUZZ_CHECK(message.source() == kept);
    FUZZ_CHECK(message.topLines() == -1);
    checkModel(message);

    MailMessage copy;
    copy.copy(message);
    FUZZ_CHECK(copy.source() == message.source());
    FUZZ_CHECK(copy.topLines() == message.topLines());

    MailMessage top;
    top.parseTop(text, topLines);
    FUZZ_CHECK(top.source().size() <= kept.size());
    FUZZ_CHECK(kept.compare(0, top.source().size(), top.source()) == 0);
    FUZZ_CHECK(top.topLines() >= 0 && top.topLines() <= std::max(topLines, 0) + 1);
    checkModel(top);
    // A TOP download keeps the whole header, so its header records are those of the message.
    FUZZ_CHECK(headerList(top.root()) == headerList(message.root()));
    return 0;
}
