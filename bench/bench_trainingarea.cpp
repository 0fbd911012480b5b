// Cost of TrainingArea::addMessage, which rewrites the whole index after writing the message
// file, into training areas that already hold 100 and 2,000 entries, against writing the same
// message file alone (atomically, flushed) in the same run; of AddMessages, which files a commit's
// messages with one index write, per message against the same; and of IsInTrainingArea, which
// scans the index, against the CRC-32 of the message text that it cannot avoid.
#include "base/Crc32.h"
#include "upstream/MailMessage.h"
#include "stores/TrainingArea.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace corvanthelix;

namespace {

constexpr int kAdds = 50;
constexpr int kLookups = 2000;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start, int count) {
    std::chrono::duration<double, std::milli> elapsed = Clock::now() - start;
    return elapsed.count() / count;
}

std::string messageText(int i) {
    std::string text = "From: \"Cheap Offers\" <offers" + std::to_string(i) + "@spam.example>\r\n"
                       "To: alice@example.org\r\nSubject: Save 90% on =?iso-8859-1?q?Gr=FC=DFe?= now #" +
                       std::to_string(i) + "\r\nDate: Tue, 7 Jan 2003 13:05:00 +0000\r\n"
                       "Content-Type: text/plain\r\n\r\n";
    for (int line = 0; line < 60; ++line) text += "Buy now, limited offer, click here to claim your prize today.\r\n";
    return text;
}

/// Writes an index of `entries` entries shaped like the ones AddMessage writes (no message files:
/// neither operation measured here reads them).
bool FillIndex(const std::string& home, int entries) {
    const std::string folder = home + "/" + TrainingArea::kFolderName + "/";
    std::filesystem::create_directories(folder);
    XmlDocument index;
    XmlElement* root = index.createRoot(TrainingArea::kRootName);
    for (int i = 0; i < entries; ++i) {
        XmlElement* entry = root->addChild(TrainingArea::kEntryName);
        entry->setAttribute("filename", trainingFileName(messageText(1000000 + i)));
        entry->setAttribute("sender", "Cheap_Offers");
        entry->setAttribute("mail", "offers" + std::to_string(i) + "=40spam=2Eexample");
        entry->setAttribute("subject", "Save_90=25_on_Gr=FC=DFe_now_=23" + std::to_string(i));
        entry->setAttribute("date", "2452647");
        entry->setAttribute("time", "13:05");
        entry->setAttribute("size", "4000");
        entry->setAttribute("block", "1");
    }
    return index.save(folder + TrainingArea::kIndexName);
}

int Run(int entries) {
    std::string home = (std::filesystem::temp_directory_path() / "bench-training-XXXXXX").string();
    if (!mkdtemp(home.data()) || !FillIndex(home, entries)) return 1;
    std::vector<MailMessage> messages(kAdds);
    for (int i = 0; i < kAdds; ++i) messages[i].parse(messageText(i));

    auto start = Clock::now();
    for (int i = 0; i < kAdds; ++i)
        if (messages[i].saveFile(home + "/baseline_" + std::to_string(i) + ".eml") != 0) return 1;
    const double fileAlone = MillisecondsSince(start, kAdds);

    TrainingArea area(home);
    std::string name;
    area.isInTrainingArea(messages[0], name); // loads the index
    start = Clock::now();
    for (int i = 0; i < kAdds; ++i)
        if (!area.addMessage(messages[i], TrainingArea::kVerdictSpam)) return 1;
    const double perAdd = MillisecondsSince(start, kAdds);

    std::vector<MailMessage> batch(kAdds);
    std::vector<TrainingArea::NewMessage> list;
    for (int i = 0; i < kAdds; ++i) {
        batch[i].parse(messageText(kAdds + i));
        list.push_back({&batch[i], TrainingArea::kVerdictSpam, {}});
    }
    start = Clock::now();
    if (area.addMessages(list) != kAdds) return 1;
    const double perBatchAdd = MillisecondsSince(start, kAdds);

    MailMessage absent;
    absent.parse(messageText(-1));
    volatile uint32_t sink = 0;
    start = Clock::now();
    for (int i = 0; i < kLookups; ++i) sink = sink + crc32(absent.source());
    const double crcOnly = MillisecondsSince(start, kLookups);
    start = Clock::now();
    for (int i = 0; i < kLookups; ++i) sink = sink + area.isInTrainingArea(absent, name);
    const double lookup = MillisecondsSince(start, kLookups);

    std::printf("%5d entries: AddMessage %.3f ms = %.2fx the message file alone (%.3f ms); "
                "AddMessages of %d, per message %.3f ms = %.2fx; "
                "IsInTrainingArea of an absent message %.4f ms = %.1fx its CRC-32 (%.4f ms)\n",
                entries, perAdd, perAdd / fileAlone, fileAlone, kAdds, perBatchAdd, perBatchAdd / fileAlone, lookup,
                lookup / crcOnly, crcOnly);
    std::filesystem::remove_all(home);
    return 0;
}

} // namespace

int main() {
    for (int entries : {100, 2000})
        if (Run(entries) != 0) {
            std::fprintf(stderr, "training area benchmark failed at %d entries\n", entries);
            return 1;
        }
    return 0;
}
