// Learning filter against bogofilter on the SpamAssassin public corpus.
//
//   bench_learning [--corpus DIR] [--repeat N] [--memory-kb KB] [--seed S]
//
// The corpus (fetched by bench/fetch_corpus.sh into $CORVANTHELIX_CORPUS, default
// ~/.cache/corvanthelix/corpus) is split reproducibly, stratified by folder: with a fixed seed
// each folder's files are shuffled and a third of them held out. Both filters then learn the
// training set and judge the held-out set, in the same run:
// - ours in one process (a child, so that its peak memory is its own): read each file, parse it,
//   learn it; save the word lists; then read, parse and judge every held-out message;
// - bogofilter with a temporary database folder, in batch mode with file names: -s -B for the
//   spam, -n -B for the ham, -T -B for the held-out set.
// Throughput counts whole messages per second, file reading included. Peak memory is the maximum
// resident set of the processes (wait4). Accuracy: false positives are held-out ham judged spam,
// false negatives held-out spam not judged spam (ours: verdict -1; bogofilter: "S").
#include "filter/LearningFilter.h"
#include "upstream/MailMessage.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace corvanthelix;
using Clock = std::chrono::steady_clock;

namespace {

struct Sample {
    std::string path;
    bool spam;
};

struct Split {
    std::vector<Sample> training;
    std::vector<Sample> heldOut;
};

struct Outcome {
    double learnSeconds = 1e300;
    double scoreSeconds = 1e300;
    long peakRssKb = 0;
    size_t falsePositives = 0;
    size_t falseNegatives = 0;
    size_t unsure = 0;
    size_t badWords = 0;
    size_t goodWords = 0;
    size_t badMemory = 0;
    size_t goodMemory = 0;
    bool ok = false;
};

std::vector<std::string> filesOf(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// Fisher-Yates with the generator's raw output, so the split is the same with every library.
void shuffle(std::vector<std::string>& files, std::mt19937& random) {
    for (size_t i = files.size(); i > 1; --i) std::swap(files[i - 1], files[random() % i]);
}

Split splitCorpus(const std::string& corpus, uint32_t seed) {
    std::vector<std::string> folders;
    for (const auto& entry : std::filesystem::directory_iterator(corpus))
        if (entry.is_directory()) folders.push_back(entry.path().string());
    std::sort(folders.begin(), folders.end());
    Split split;
    std::mt19937 random(seed);
    for (const std::string& folder : folders) {
        bool spam = std::filesystem::path(folder).filename().string().rfind("spam", 0) == 0;
        std::vector<std::string> files = filesOf(folder);
        shuffle(files, random);
        size_t heldOut = (files.size() + 1) / 3;
        for (size_t i = 0; i < files.size(); ++i)
            (i < heldOut ? split.heldOut : split.training).push_back({files[i], spam});
    }
    return split;
}

// A message as a POP3 server hands it over: the corpus keeps bare LF line ends, the wire has CR LF.
std::string readMessage(const std::string& path) {
    std::string raw;
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return raw;
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) raw.append(buffer, size_t(got));
    ::close(fd);
    std::string wire;
    wire.reserve(raw.size() + raw.size() / 16);
    char previous = 0;
    for (char c : raw) {
        if (c == '\n' && previous != '\r') wire.push_back('\r');
        wire.push_back(c);
        previous = c;
    }
    return wire;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs our filter in a child process and returns its figures and peak memory.
Outcome runOurs(const Split& split, size_t memoryLimit) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        char folderTemplate[] = "/tmp/corvanthelix-bench-XXXXXX";
        std::string folder = mkdtemp(folderTemplate) ? folderTemplate : "/tmp";
        Outcome out;
        LearningFilter filter;
        filter.load(folder + "/training", memoryLimit);
        MailMessage message;

        Clock::time_point start = Clock::now();
        for (const Sample& sample : split.training) {
            message.parse(readMessage(sample.path));
            filter.learn(&message, sample.spam);
        }
        filter.save();
        out.learnSeconds = secondsSince(start);
        out.badWords = filter.bad().entries();
        out.goodWords = filter.good().entries();
        out.badMemory = filter.bad().memoryUsed();
        out.goodMemory = filter.good().memoryUsed();

        start = Clock::now();
        char reason[LearningFilter::kVerdictReasonCapacity];
        for (const Sample& sample : split.heldOut) {
            message.parse(readMessage(sample.path));
            double probability = 0;
            int verdict = filter.verdict(&message, probability, reason);
            if (verdict == FilterVerdict::kSpam && !sample.spam) ++out.falsePositives;
            if (verdict != FilterVerdict::kSpam && sample.spam) ++out.falseNegatives;
            if (verdict == FilterVerdict::kUndecided) ++out.unsure;
        }
        out.scoreSeconds = secondsSince(start);
        out.ok = true;
        std::filesystem::remove_all(folder);
        ssize_t written = write(pipeFds[1], &out, sizeof out);
        _exit(written == sizeof out ? 0 : 1);
    }
    close(pipeFds[1]);
    Outcome out;
    ssize_t got = read(pipeFds[0], &out, sizeof out);
    close(pipeFds[0]);
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    if (got != sizeof out || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    out.peakRssKb = usage.ru_maxrss;
    return out;
}

struct ProcessRun {
    bool ok = false;
    double seconds = 0;
    long peakRssKb = 0;
    std::string output;
};

// Runs a program with its standard output captured; bogofilter's exit code tells the last
// verdict, so only a signal or a failure to start counts as an error.
ProcessRun runProcess(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    Clock::time_point start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    ProcessRun run;
    char buffer[65536];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) run.output.append(buffer, size_t(got));
    close(pipeFds[0]);
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    run.seconds = secondsSince(start);
    run.peakRssKb = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) != 127 && WEXITSTATUS(status) != 3;
    return run;
}

Outcome runBogofilter(const Split& split) {
    char folderTemplate[] = "/tmp/corvanthelix-bogofilter-XXXXXX";
    if (!mkdtemp(folderTemplate)) return {};
    std::string folder = folderTemplate;
    auto command = [&](const char* mode, const std::vector<Sample>& samples, int spamOnly) {
        // -C: no configuration files, so the machine's settings do not change the figures.
        std::vector<std::string> arguments = {"bogofilter", "-C", "-d", folder, mode, "-B"};
        for (const Sample& s : samples)
            if (spamOnly < 0 || s.spam == bool(spamOnly)) arguments.push_back(s.path);
        return arguments;
    };
    Outcome out;
    ProcessRun spam = runProcess(command("-s", split.training, 1));
    ProcessRun ham = runProcess(command("-n", split.training, 0));
    ProcessRun score = runProcess(command("-T", split.heldOut, -1));
    std::filesystem::remove_all(folder);
    if (!spam.ok || !ham.ok || !score.ok) return {};
    out.learnSeconds = spam.seconds + ham.seconds;
    out.scoreSeconds = score.seconds;
    out.peakRssKb = std::max({spam.peakRssKb, ham.peakRssKb, score.peakRssKb});

    // Lines: "<path> <S|H|U> <probability>"
    std::istringstream lines(score.output);
    std::string line;
    size_t judged = 0;
    std::vector<bool> isSpam;
    for (const Sample& s : split.heldOut) isSpam.push_back(s.spam);
    while (std::getline(lines, line)) {
        size_t last = line.rfind(' ');
        if (last == std::string::npos || last < 2) continue;
        char verdict = line[last - 1];
        if (judged >= isSpam.size()) break;
        bool spamSample = isSpam[judged++];
        if (verdict == 'S' && !spamSample) ++out.falsePositives;
        if (verdict != 'S' && spamSample) ++out.falseNegatives;
        if (verdict == 'U') ++out.unsure;
    }
    out.ok = judged == isSpam.size();
    return out;
}

void keepBest(Outcome& best, const Outcome& run) {
    if (!run.ok) return;
    bool first = !best.ok;
    best.learnSeconds = std::min(best.learnSeconds, run.learnSeconds);
    best.scoreSeconds = std::min(best.scoreSeconds, run.scoreSeconds);
    best.peakRssKb = std::max(best.peakRssKb, run.peakRssKb);
    if (first) {
        best.badWords = run.badWords;
        best.goodWords = run.goodWords;
        best.badMemory = run.badMemory;
        best.goodMemory = run.goodMemory;
        best.falsePositives = run.falsePositives;
        best.falseNegatives = run.falseNegatives;
        best.unsure = run.unsure;
    }
    best.ok = true;
}

std::string defaultCorpus() {
    if (const char* env = std::getenv("CORVANTHELIX_CORPUS")) return std::string(env) + "/messages";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.cache/corvanthelix/corpus/messages";
}

} // namespace

int main(int argc, char** argv) {
    std::string corpus = defaultCorpus();
    int repeat = 3;
    int memoryKb = 2048;
    uint32_t seed = 20020;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--corpus") corpus = argv[i + 1];
        else if (option == "--repeat") repeat = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--memory-kb") memoryKb = std::atoi(argv[i + 1]);
        else if (option == "--seed") seed = uint32_t(std::strtoul(argv[i + 1], nullptr, 10));
        else {
            std::fprintf(stderr, "usage: %s [--corpus DIR] [--repeat N] [--memory-kb KB] [--seed S]\n", argv[0]);
            return 2;
        }
    }
    if (!std::filesystem::is_directory(corpus)) {
        std::fprintf(stderr, "no corpus at %s: run bench/fetch_corpus.sh first\n", corpus.c_str());
        return 1;
    }
#ifndef NDEBUG
    std::printf("note: this is not a Release build; its figures are not representative\n");
#endif
    Split split = splitCorpus(corpus, seed);
    size_t trainSpam = 0, testSpam = 0;
    for (const Sample& s : split.training) trainSpam += s.spam;
    for (const Sample& s : split.heldOut) testSpam += s.spam;
    size_t testHam = split.heldOut.size() - testSpam;
    std::printf("corpus %s, seed %u: training %zu (%zu spam), held out %zu (%zu spam, %zu ham)\n",
                corpus.c_str(), seed, split.training.size(), trainSpam, split.heldOut.size(), testSpam, testHam);
    std::printf("our memory limit: %d KB setting, %zu bytes per word list; best of %d runs\n\n", memoryKb,
                LearningFilter::memoryLimitForSetting(memoryKb), repeat);

    Outcome ours, bogo;
    for (int r = 0; r < repeat; ++r) {
        keepBest(ours, runOurs(split, LearningFilter::memoryLimitForSetting(memoryKb)));
        keepBest(bogo, runBogofilter(split));
    }
    if (!ours.ok || !bogo.ok) {
        std::fprintf(stderr, "a run failed (ours %s, bogofilter %s)\n", ours.ok ? "ok" : "failed",
                     bogo.ok ? "ok" : "failed");
        return 1;
    }

    double trainCount = double(split.training.size());
    double testCount = double(split.heldOut.size());
    auto rate = [](size_t part, size_t whole) { return whole ? 100.0 * double(part) / double(whole) : 0.0; };
    double oursLearn = trainCount / ours.learnSeconds, bogoLearn = trainCount / bogo.learnSeconds;
    double oursScore = testCount / ours.scoreSeconds, bogoScore = testCount / bogo.scoreSeconds;
    std::printf("%-28s %14s %14s %12s\n", "", "corvanthelix", "bogofilter", "ratio");
    std::printf("%-28s %14.0f %14.0f %11.2fx  (target >= 3x: %s)\n", "learning (msg/s)", oursLearn, bogoLearn,
                oursLearn / bogoLearn, oursLearn >= 3 * bogoLearn ? "met" : "NOT met");
    std::printf("%-28s %14.0f %14.0f %11.2fx  (target >= 5x: %s)\n", "scoring (msg/s)", oursScore, bogoScore,
                oursScore / bogoScore, oursScore >= 5 * bogoScore ? "met" : "NOT met");
    std::printf("%-28s %14.1f %14.1f %11.2fx\n", "peak memory (MB RSS)", ours.peakRssKb / 1024.0,
                bogo.peakRssKb / 1024.0, double(ours.peakRssKb) / double(bogo.peakRssKb));
    std::printf("%-28s %8zu %5.2f%% %8zu %5.2f%%\n", "false positives (of ham)", ours.falsePositives,
                rate(ours.falsePositives, testHam), bogo.falsePositives, rate(bogo.falsePositives, testHam));
    std::printf("%-28s %8zu %5.2f%% %8zu %5.2f%%\n", "false negatives (of spam)", ours.falseNegatives,
                rate(ours.falseNegatives, testSpam), bogo.falseNegatives, rate(bogo.falseNegatives, testSpam));
    std::printf("%-28s %8zu %5.2f%% %8zu %5.2f%%\n", "undecided (of held out)", ours.unsure,
                rate(ours.unsure, split.heldOut.size()), bogo.unsure, rate(bogo.unsure, split.heldOut.size()));
    std::printf("\nour word lists: bad %zu words (%zu of %zu bytes), good %zu words (%zu of %zu bytes)\n",
                ours.badWords, ours.badMemory, LearningFilter::memoryLimitForSetting(memoryKb), ours.goodWords,
                ours.goodMemory, LearningFilter::memoryLimitForSetting(memoryKb));
    return 0;
}
