// Cost of reading one setting from a settings file whose SENDERS section holds 10,000 entries,
// against a lookup in an in-memory std::map<string, string> of the same content, measured in the
// same run, and against the stat() every read makes to see outside edits. Also shows the cost of the first read after an outside change (the file is parsed
// again) and of one write (the whole file is rewritten), against reading the file's bytes.
#include "base/IniFile.h"
#include "base/Settings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>

using namespace corvanthelix;

namespace {

constexpr int kSenders = 10000;
constexpr int kReads = 100000;

double microsecondsSince(std::chrono::steady_clock::time_point start, int count) {
    std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / count;
}

std::string settingsText() {
    std::ostringstream text;
    text << "[CORVANTHELIX]\nEnable=1\nLanguage=default\nAggressiveness=75\nTrayDblClk=40005\n"
            "TrainingAreaMaxMemory=2048\nFilterWordHTML=1\nKeepSpamMails=0\n"
            "[SERVER]\nPort=110\nPortSSL=995\nTimeout=60\n[SENDERS]\n";
    for (int i = 0; i < kSenders; ++i)
        text << "sender" << i << "@example" << i % 97 << ".com=Sender " << i << "," << (i % 2) + 1 << "\n";
    return text.str();
}

} // namespace

int main() {
    std::string folderPattern = (std::filesystem::temp_directory_path() / "bench-settings-XXXXXX").string();
    if (!mkdtemp(folderPattern.data())) return 1;
    const std::string path = folderPattern + "/corvanthelix.ini";
    const std::string text = settingsText();
    std::ofstream(path, std::ios::binary) << text;

    // Baseline: the same keys and values in a map, looked up and converted the same way.
    std::map<std::string, std::string> memory;
    std::istringstream lines(text);
    std::string section, line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '[') section = line.substr(1, line.size() - 2);
        else if (auto eq = line.find('='); eq != std::string::npos) memory[section + "/" + line.substr(0, eq)] = line.substr(eq + 1);
    }
    const std::string mapKey = "CORVANTHELIX/Aggressiveness";
    long sum = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kReads; ++i) sum += std::atoi(memory.find(mapKey)->second.c_str());
    double mapCost = microsecondsSince(start, kReads);

    // The floor of a read that must see outside edits: one stat() of the file.
    struct stat st {};
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kReads; ++i) sum += ::stat(path.c_str(), &st) == 0 ? 1 : 0;
    double statCost = microsecondsSince(start, kReads);

    IniFile::readInt(settings::section::kCorvanthelix, settings::key::kAggressiveness, 0, path); // parse once
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kReads; ++i) sum += settings::aggressiveness(path);
    double iniCost = microsecondsSince(start, kReads);

    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kReads; ++i) sum += static_cast<long>(settings::language(path).size());
    double iniStringCost = microsecondsSince(start, kReads);

    // First read after a change: stat differs, the file is read and parsed again.
    constexpr int kColdReads = 50;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kColdReads; ++i) {
        IniFile::clearCache();
        sum += settings::aggressiveness(path);
    }
    double coldCost = microsecondsSince(start, kColdReads);

    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kColdReads; ++i) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        sum += static_cast<long>(bytes.str().size());
    }
    double rawReadCost = microsecondsSince(start, kColdReads);

    constexpr int kWrites = 50;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kWrites; ++i) settings::setAggressiveness(i % 2 ? 25 : 75, path);
    double writeCost = microsecondsSince(start, kWrites);

    std::printf("settings file: %d senders, %zu bytes (checksum %ld)\n", kSenders, text.size(), sum);
    std::printf("unchanged read, int:    %.3f us  = %.1fx the map lookup (%.3f us)\n", iniCost, iniCost / mapCost, mapCost);
    std::printf("unchanged read, string: %.3f us  = %.1fx the map lookup\n", iniStringCost, iniStringCost / mapCost);
    std::printf("unchanged read, int:    %.2fx one stat() of the file (%.3f us)\n", iniCost / statCost, statCost);
    std::printf("read after a change:    %.1f us  = %.1fx reading the file's bytes (%.1f us)\n", coldCost,
                coldCost / rawReadCost, rawReadCost);
    std::printf("one write (rewrite):    %.1f us  = %.1fx reading the file's bytes\n", writeCost, writeCost / rawReadCost);
    std::printf("target: unchanged read under 2 us: %s\n", iniCost < 2.0 ? "met" : "MISSED");

    std::filesystem::remove_all(folderPattern);
    return 0;
}
