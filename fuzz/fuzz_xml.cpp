// Fuzz target: the XML reader of the index files (host list, recycle bin and training area
// indexes, the old UID list), which may be cut short by a crash or come from another version.
// Parses the input, writes it out and reads that again: what the writer made must read back as a
// root with the same children (in reverse order, as the format does; attributes may hold quotes
// and spaces that only the stores' own values avoid). A second document
// built from the input through the API, with names and values as the stores write them, must
// survive a write and a read as well.
#include "fuzz/FuzzSupport.h"
#include "stores/XmlDocument.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <utility>
#include <vector>

using namespace corvanthelix;

namespace {

struct Child {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes; // in list order
    bool operator==(const Child&) const = default;
};
struct Shape {
    std::string rootName;
    std::vector<Child> children; // in list order
    bool operator==(const Shape&) const = default;
};

// The document's root as plain values, with both lists reversed when `reversed`.
Shape shapeOf(const XmlDocument& document, bool reversed) {
    Shape shape;
    const XmlElement* root = document.root();
    if (root == nullptr) return shape;
    shape.rootName = root->name();
    for (const XmlElement* child = root->firstChild(); child; child = child->Next()) {
        Child c{child->name(), {}};
        for (const XmlAttribute* a = child->firstAttribute(); a; a = a->Next()) c.attributes.emplace_back(a->name(), a->value());
        if (reversed) std::reverse(c.attributes.begin(), c.attributes.end());
        shape.children.push_back(std::move(c));
    }
    if (reversed) std::reverse(shape.children.begin(), shape.children.end());
    return shape;
}

// A name or value drawn from the characters the stores put into their files: names are words,
// values are numbers, paths and Q-encoded text.
std::string storedText(FuzzedDataProvider& input, bool value) {
    static constexpr std::string_view kNameChars = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    static constexpr std::string_view kValueChars =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_=.:/-+!*@ ";
    const std::string_view chars = value ? kValueChars : kNameChars;
    std::string raw = input.ConsumeRandomLengthString(24);
    std::string out;
    for (unsigned char c : raw) out += chars[c % chars.size()];
    if (!value && out.empty()) out = "n";
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // A document as the stores build it survives a write and a read exactly.
    FuzzedDataProvider input(data, size);
    XmlDocument built;
    XmlElement* root = built.createRoot(storedText(input, false));
    const int children = input.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < children; ++i) {
        XmlElement* child = root->addChild(storedText(input, false));
        const int attributes = input.ConsumeIntegralInRange(0, 6);
        for (int k = 0; k < attributes; ++k) child->setAttribute(storedText(input, false), storedText(input, true));
    }
    XmlDocument reread;
    reread.parse(built.toText());
    FUZZ_CHECK(shapeOf(reread, true) == shapeOf(built, false));

    // Whatever a file holds: the reader's own output must read back.
    XmlDocument read;
    FUZZ_CHECK(read.parse(text));
    FUZZ_CHECK(read.isLoaded());
    const std::string written = read.toText();
    XmlDocument again;
    again.parse(written);
    const Shape before = shapeOf(read, false);
    const Shape after = shapeOf(again, true);
    // Only a root with a plain name is expected back: a self-closing top-level tag keeps its
    // whole text as the name, which a closing tag cannot repeat.
    if (before.rootName.find_first_of(" \t\r\n<>/\"") != std::string::npos) return 0;
    FUZZ_CHECK((read.root() == nullptr) == (again.root() == nullptr));
    FUZZ_CHECK(after.children.size() == before.children.size());
    for (size_t i = 0; i < before.children.size(); ++i) FUZZ_CHECK(after.children[i].name == before.children[i].name);
    return 0;
}
