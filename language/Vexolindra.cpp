#include "language/Vexolindra.h"

#include "language/LanguageFile.h"

#include <algorithm>
#include <atomic>
#include <dirent.h>
#include <fnmatch.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace corvanthelix {

namespace {

// The process-wide table; freed when the library is unloaded.
std::unique_ptr<CLanguage>& processLanguage() {
    static std::unique_ptr<CLanguage> language;
    return language;
}

std::atomic<StringTableLookup> stringTable{nullptr};

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

std::string withSeparator(const char* directory) {
    std::string folder = directory && *directory ? directory : ".";
    if (folder.back() != '/') folder += '/';
    return folder;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Matching names in name order, so that the choice among several files of one language does not
// depend on how the file system happens to list them.
std::vector<std::string> matchingFiles(const std::string& folder, const char* pattern) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) return names;
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (fnmatch(pattern, name.c_str(), FNM_CASEFOLD) != 0) continue;
        if (isRegularFile(folder + name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct LanguageSearch {
    uint16_t wanted;
    std::string fileName;
};

int selectByLanguageId(const LANGUAGE* language, void* userData) {
    auto* search = static_cast<LanguageSearch*>(userData);
    if (language->languageId != search->wanted) return 1;
    search->fileName = language->fileName;
    return 0;
}

} // namespace

CLanguage* GetLanguage() { return processLanguage().get(); }

CLanguage* InitLanguage(const char* path) {
    std::unique_ptr<CLanguage>& language = processLanguage();
    language.reset();
    language = std::make_unique<CLanguage>();
    language->SetLanguageFile(path);
    return language.get();
}

CLanguage* InitLanguageByID(const char* directory, const char* pattern, uint16_t languageId) {
    CLanguage* language = InitLanguage(nullptr);
    LanguageSearch search{static_cast<uint16_t>(languageId & 0x3FF), {}};
    // Files without a LANGUAGEID line have id 0; an unknown user language must not pick one of them.
    if (search.wanted == 0) return language;
    EnumLanguages(directory, pattern, selectByLanguageId, &search);
    if (!search.fileName.empty()) language->SetLanguageFile((withSeparator(directory) + search.fileName).c_str());
    return language;
}

int EnumLanguages(const char* directory, const char* pattern, EnumLanguagesProc callback, void* userData) {
    if (!pattern) return 0;
    std::string folder = withSeparator(directory);
    int visited = 0;
    for (const std::string& name : matchingFiles(folder, pattern)) {
        std::string path = folder + name;
        std::string content;
        if (!languagefile::readHeaderBytes(path.c_str(), content)) continue;
        LANGUAGE info = languagefile::parseHeader(content, path.c_str());
        ++visited;
        if (callback && !callback(&info, userData)) break;
    }
    return visited;
}

void RegisterStringTable(StringTableLookup lookup) { stringTable.store(lookup); }

StringTableLookup RegisteredStringTable() { return stringTable.load(); }

} // namespace corvanthelix
