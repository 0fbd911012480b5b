// Fuzz target: the language-file reader of the translation library. A language file in the
// program folder may be damaged or come from another version. Loads the input as the main
// language file, then translates texts taken from the file itself. Checks: the header fields are
// NUL-terminated inside their records, GetTranslatedStrLen tells the length Translate gives, and
// a short buffer is never overrun and always terminated.
#include "fuzz/FuzzSupport.h"
#include "language/CLanguage.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace corvanthelix;

namespace {

void checkTranslation(const CLanguage& table, const std::string& source) {
    const std::string translated = table.TranslateText(source.c_str());
    FUZZ_CHECK(table.GetTranslatedStrLen(source.c_str()) == translated.size());
    char small[6];
    table.Translate(source.c_str(), small, sizeof small);
    FUZZ_CHECK(std::memchr(small, '\0', sizeof small) != nullptr);
    FUZZ_CHECK(translated.compare(0, std::strlen(small), small) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string path = fuzz::scratchFile("fuzz.corvanthelix.language", text);

    CLanguage table;
    FUZZ_CHECK(table.SetLanguageFile(path.c_str()) == 1);
    LANGUAGE information{};
    table.GetInformation(&information);
    FUZZ_CHECK(std::memchr(information.fileName, '\0', sizeof information.fileName) != nullptr);
    FUZZ_CHECK(std::memchr(information.name, '\0', sizeof information.name) != nullptr);
    FUZZ_CHECK(std::memchr(information.version, '\0', sizeof information.version) != nullptr);
    FUZZ_CHECK(std::memchr(information.author, '\0', sizeof information.author) != nullptr);
    FUZZ_CHECK(information.languageId < 1024);
    FUZZ_CHECK(std::strcmp(information.fileName, "fuzz.corvanthelix.language") == 0);

    // Every line of the file, as it is and with a colon, is a text the program might look up.
    size_t start = 0;
    int looked = 0;
    while (start < text.size() && looked < 64) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line(text.c_str() + start, strnlen(text.c_str() + start, end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        checkTranslation(table, line);
        checkTranslation(table, line + ":");
        start = end + 1;
        ++looked;
    }

    // A second file of the same language adds to the table without overriding.
    FUZZ_CHECK(table.AddLanguageFile(path.c_str(), 0) == 1);
    table.Unload();
    FUZZ_CHECK(table.TranslateText("Spam") == "Spam");
    return 0;
}
