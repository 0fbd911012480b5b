// Message model over real mail: checks that every message of the corpus comes back byte for byte
// and yields its body text, then measures parse + bodyText(true) throughput against plain memory
// scans of the same bytes measured in the same run.
//
// Corpus: the folder printed by bench/fetch_corpus.sh ($CORVANTHELIX_CORPUS/messages, default
// ~/.cache/corvanthelix/corpus/messages). Without it the mail fixtures are repeated to 50 MB.
// Usage: bench_message [messages-folder]
#include "upstream/MailMessage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using namespace corvanthelix;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path corpusFolder(int argc, char** argv) {
    if (argc > 1) return argv[1];
    if (const char* cache = std::getenv("CORVANTHELIX_CORPUS")) return fs::path(cache) / "messages";
    if (const char* home = std::getenv("HOME")) return fs::path(home) / ".cache/corvanthelix/corpus/messages";
    return {};
}

std::vector<std::string> loadFolder(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> messages;
    messages.reserve(files.size());
    for (const auto& file : files) messages.push_back(readFile(file));
    return messages;
}

std::string toCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

size_t totalBytes(const std::vector<std::string>& messages) {
    size_t total = 0;
    for (const auto& m : messages) total += m.size();
    return total;
}

/// Runs `pass` over the set until at least `minSeconds` have passed; returns MB/s.
double throughput(const std::vector<std::string>& messages, const std::function<void(const std::string&)>& pass,
                  double minSeconds = 1.5) {
    using clock = std::chrono::steady_clock;
    size_t bytes = 0;
    auto start = clock::now();
    double seconds = 0;
    do {
        for (const auto& m : messages) pass(m);
        bytes += totalBytes(messages);
        seconds = std::chrono::duration<double>(clock::now() - start).count();
    } while (seconds < minSeconds);
    return bytes / seconds / 1e6;
}

volatile size_t sink;

struct CheckResult {
    size_t messages = 0, exact = 0, withNul = 0, bodyText = 0, emptyBody = 0, multipart = 0, split = 0,
           parts = 0, dated = 0, topPrefix = 0;
};

CheckResult check(const std::vector<std::string>& messages) {
    CheckResult r;
    for (const auto& text : messages) {
        ++r.messages;
        MailMessage message;
        message.parse(text);
        bool hasNul = text.find('\0') != std::string::npos;
        r.withNul += hasNul;
        const std::string& expected = text; // kept byte for byte, NUL bytes included
        r.exact += message.source() == expected;
        auto stripped = message.bodyText(true);
        auto full = message.bodyText(false);
        if (stripped && full && stripped->size() <= message.size() && full->size() <= message.size()) ++r.bodyText;
        if (stripped && stripped->find_first_not_of(" \t\r\n") == std::string::npos) ++r.emptyBody;
        if (message.root() && message.root()->boundary) {
            ++r.multipart;
            r.split += message.root()->firstChild != nullptr;
        }
        std::function<size_t(const MessagePart*)> count = [&](const MessagePart* part) -> size_t {
            size_t n = 1;
            for (const MessagePart* c = part->firstChild; c; c = c->next) n += count(c);
            return n;
        };
        if (message.root()) r.parts += count(message.root());
        r.dated += message.date().has_value();
        MailMessage top;
        top.parseTop(text, 10);
        r.topPrefix += expected.compare(0, top.size(), top.source()) == 0;
    }
    return r;
}

void report(const char* label, const std::vector<std::string>& messages) {
    std::printf("\n== %s: %zu messages, %.1f MB ==\n", label, messages.size(), totalBytes(messages) / 1e6);
    CheckResult r = check(messages);
    std::printf("round trip exact (Source == input, NUL bytes too): %zu / %zu (%zu held NUL bytes)\n", r.exact,
                r.messages, r.withNul);
    std::printf("TOP 10 lines kept as an exact prefix:            %zu / %zu\n", r.topPrefix, r.messages);
    std::printf("BodyText(true/false) present and within size:    %zu / %zu (blank text: %zu)\n", r.bodyText,
                r.messages, r.emptyBody);
    std::printf("multipart roots: %zu, of which split into parts: %zu; parts in all: %zu\n", r.multipart, r.split,
                r.parts);
    std::printf("messages with a readable date: %zu / %zu\n", r.dated, r.messages);

    std::vector<char> scratch(1 << 20);
    double copyRate = throughput(messages, [&](const std::string& m) {
        if (scratch.size() < m.size() + 1) scratch.resize(m.size() + 1);
        std::memcpy(scratch.data(), m.data(), m.size() + 1);
        sink = sink + static_cast<unsigned char>(scratch[m.size() / 2]);
    });
    double lineRate = throughput(messages, [&](const std::string& m) {
        size_t lines = 0;
        const char* p = m.data();
        const char* end = p + m.size();
        while ((p = static_cast<const char*>(std::memchr(p, '\n', end - p)))) ++lines, ++p;
        sink = sink + lines;
    });
    double parseRate = throughput(messages, [&](const std::string& m) {
        MailMessage message;
        message.parse(m);
        sink = sink + (message.root() != nullptr);
    });
    double bodyRate = throughput(messages, [&](const std::string& m) {
        MailMessage message;
        message.parse(m);
        sink = sink + message.bodyText(true)->size();
    });
    std::printf("baseline memcpy:              %8.0f MB/s\n", copyRate);
    std::printf("baseline line scan (memchr):  %8.0f MB/s\n", lineRate);
    std::printf("Parse:                        %8.0f MB/s  (%.2fx line scan, %.3fx memcpy)\n", parseRate,
                parseRate / lineRate, parseRate / copyRate);
    std::printf("Parse + BodyText(true):       %8.0f MB/s  (%.2fx line scan, %.3fx memcpy)  target >= 150 MB/s\n",
                bodyRate, bodyRate / lineRate, bodyRate / copyRate);
}

} // namespace

int main(int argc, char** argv) {
    fs::path folder = corpusFolder(argc, argv);
    std::vector<std::string> messages;
    std::string label;
    if (!folder.empty() && fs::is_directory(folder)) {
        messages = loadFolder(folder);
        label = "corpus " + folder.string();
    }
    if (messages.empty()) {
        std::printf("no corpus at %s (run bench/fetch_corpus.sh); using the mail fixtures repeated to 50 MB\n",
                    folder.string().c_str());
        std::vector<std::string> fixtures = loadFolder(fs::path(CORVANTHELIX_SOURCE_DIR) / "tests/fixtures/mail");
        if (fixtures.empty()) return 1;
        for (size_t bytes = 0; bytes < 50'000'000;)
            for (const auto& f : fixtures) messages.push_back(f), bytes += f.size();
        label = "fixtures x" + std::to_string(messages.size() / fixtures.size());
    }
    report(label.c_str(), messages);
    if (label.rfind("corpus", 0) == 0) {
        // POP3 delivers CR LF line ends; the published corpus has bare LF.
        std::vector<std::string> crlf;
        crlf.reserve(messages.size());
        for (const auto& m : messages) crlf.push_back(toCrLf(m));
        report("same corpus with CR LF line ends", crlf);
    }
    return 0;
}
