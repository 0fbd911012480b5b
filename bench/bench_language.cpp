// Cost of translating a text through the translation table (27 buckets of lists, compared without
// regard to case) against a case-folded std::unordered_map lookup of the same entries, measured in
// the same run: once with the shipped German file (every string-table text), once with a file of
// 3,000 entries such as a full set of windows and menus gives. Also the cost of loadString() with
// the German translator against loadString() in English, and of loading the German file against
// reading its bytes.
#include "base/ProgramLanguage.h"
#include "language/Vexolindra.h"
#include "base/StringTable.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

using namespace corvanthelix;

namespace {

struct StringEntry {
    int id;
    const char* text;
};
const StringEntry kStringTable[] = {
#include "resources/strings.inc"
};

template <typename F>
double nanosecondsPerCall(int rounds, size_t callsPerRound, F&& body) {
    auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) body();
    std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / (static_cast<double>(rounds) * callsPerRound);
}

std::string folded(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Looks up every source text in `language` and in a case-folded hash map of the same entries.
void compareLookups(const char* title, const CLanguage& language, const std::vector<std::string>& sources,
                    const std::vector<std::pair<std::string, std::string>>& entries) {
    std::unordered_map<std::string, std::string> map;
    for (const auto& e : entries) map[folded(e.first)] = e.second;
    size_t sink = 0;
    const int rounds = 2000;
    double table = nanosecondsPerCall(rounds, sources.size(), [&] {
        for (const std::string& s : sources) sink += language.TranslateText(s.c_str()).size();
    });
    double hash = nanosecondsPerCall(rounds, sources.size(), [&] {
        for (const std::string& s : sources) {
            auto it = map.find(folded(s));
            sink += it == map.end() ? s.size() : std::string(it->second).size();
        }
    });
    std::printf("%s: %zu texts, translation table %.0f ns per text = %.2f x hash map baseline (%.0f ns)  [%zu]\n",
                title, sources.size(), table, table / hash, hash, sink % 10);
}

} // namespace

int main() {
    const std::string germanPath = std::string(CORVANTHELIX_SOURCE_DIR) + "/resources/languages/deutsch.corvanthelix.language";

    // Loading the German file against reading its bytes.
    const int loads = 200;
    double readCost = nanosecondsPerCall(loads, 1, [&] { (void)readFile(germanPath).size(); });
    CLanguage german;
    double loadCost = nanosecondsPerCall(loads, 1, [&] { german.SetLanguageFile(nullptr); german.SetLanguageFile(germanPath.c_str()); });
    std::printf("load German file: %.1f us = %.2f x reading its bytes (%.1f us)\n", loadCost / 1000, loadCost / readCost,
                readCost / 1000);

    std::vector<std::string> sources;
    std::vector<std::pair<std::string, std::string>> entries;
    for (const StringEntry& e : kStringTable) {
        sources.push_back(e.text);
        const CLanguageListNode* node = german.FindNode(e.text);
        entries.emplace_back(e.text, node ? node->Translation() : e.text);
    }
    compareLookups("German string table", german, sources, entries);

    // A large file: 3,000 window and menu texts.
    std::string folder = (std::filesystem::temp_directory_path() / "bench-language-XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    std::string bigPath = folder + "/big.corvanthelix.language";
    std::vector<std::string> bigSources;
    std::vector<std::pair<std::string, std::string>> bigEntries;
    {
        std::ofstream out(bigPath, std::ios::binary);
        out << "NAME: Big\nLANGUAGEID: 407\n";
        const char* words[] = {"Server", "Account", "Message", "Filter", "Recycle", "Training", "Options", "Spam"};
        for (int i = 0; i < 3000; ++i) {
            std::string source = std::string(words[i % 8]) + " setting number " + std::to_string(i);
            std::string translation = "Einstellung " + std::to_string(i);
            out << source << "\n=" << translation << "\n";
            bigSources.push_back(source);
            bigEntries.emplace_back(source, translation);
        }
    }
    CLanguage big;
    big.SetLanguageFile(bigPath.c_str());
    std::vector<std::string> sample;
    for (size_t i = 0; i < bigSources.size(); i += 10) sample.push_back(bigSources[i]);
    compareLookups("3,000-entry file", big, sample, bigEntries);
    std::filesystem::remove_all(folder);

    // loadString() of the whole string table: German translator against English.
    const int rounds = 2000;
    size_t sink = 0;
    auto everyText = [&] { for (const StringEntry& e : kStringTable) sink += loadString(e.id).size(); };
    double english = nanosecondsPerCall(rounds, std::size(kStringTable), everyText);
    installProgramTranslation();
    InitLanguage(germanPath.c_str());
    double translated = nanosecondsPerCall(rounds, std::size(kStringTable), everyText);
    std::printf("loadString German: %.0f ns = %.2f x English baseline (%.0f ns)  [%zu]\n", translated,
                translated / english, english, sink % 10);
    return 0;
}
