#include "base/ProgramLanguage.h"

#include "base/Settings.h"
#include "language/Vexolindra.h"
#include "base/StringTable.h"

#include <cctype>
#include <cstdlib>
#include <strings.h>
#include <unordered_map>

namespace corvanthelix {

namespace {

// Primary language ids by ISO 639-1 code. Only the primary language selects a language file, so
// regions ("de_AT", "de_CH") need no entries of their own.
const std::unordered_map<std::string, uint16_t>& primaryLanguages() {
    static const std::unordered_map<std::string, uint16_t> ids = {
        {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
        {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
        {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
        {"nl", 0x13}, {"no", 0x14}, {"nb", 0x14}, {"nn", 0x14}, {"pl", 0x15}, {"pt", 0x16},
        {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sr", 0x1A}, {"bs", 0x1A}, {"sk", 0x1B},
        {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"ur", 0x20}, {"id", 0x21},
        {"uk", 0x22}, {"be", 0x23}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27},
        {"fa", 0x29}, {"vi", 0x2A}, {"hy", 0x2B}, {"eu", 0x2D}, {"mk", 0x2F}, {"af", 0x36},
        {"ka", 0x37}, {"fo", 0x38}, {"hi", 0x39}, {"ms", 0x3E}, {"kk", 0x3F}, {"sw", 0x41},
        {"gl", 0x56},
    };
    return ids;
}

constexpr uint16_t kSublanguageDefault = 0x0400;

} // namespace

uint16_t languageIdForLocale(const std::string& locale) {
    std::string language = locale.substr(0, locale.find_first_of("_.@"));
    for (char& c : language) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto it = primaryLanguages().find(language);
    return it == primaryLanguages().end() ? 0 : static_cast<uint16_t>(kSublanguageDefault | it->second);
}

uint16_t userLanguageId() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return languageIdForLocale(value);
    }
    return 0;
}

CLanguage* loadProgramLanguage(const std::string& programFolder, const std::string& settingsFile,
                               uint16_t userLanguage) {
    std::string chosen = settings::language(settingsFile);
    std::string folder = programFolder + "/";
    if (strcasecmp(chosen.c_str(), "default") == 0) return InitLanguage(nullptr);
    if (!chosen.empty()) return InitLanguage((folder + chosen).c_str());

    CLanguage* language = InitLanguageByID(folder.c_str(), kLanguageFilePattern, userLanguage);
    LANGUAGE information{};
    language->GetInformation(&information);
    if (information.fileName[0]) settings::setLanguage(information.fileName, settingsFile);
    return language;
}

std::string translateStringTableText(int id, const char* english) {
    CTranslateString text(nullptr, static_cast<unsigned>(id));
    if (text.c_str()) return text.c_str();
    return english ? english : "";
}

void installProgramTranslation() {
    RegisterStringTable(englishString);
    setStringTranslator(translateStringTableText);
}

} // namespace corvanthelix
