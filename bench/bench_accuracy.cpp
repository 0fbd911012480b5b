// Accuracy of the shipped filters on the SpamAssassin public corpus, four configurations side by
// side in one run, and the speed of the chi-square plug-in against bogofilter.
//
//   bench_accuracy [--seed N] [--corpus DIR] [--repeat N] [--tune]
//
// The corpus comes from bench/fetch_corpus.sh (run when it is missing). It is split reproducibly
// by the seed (default 20020), stratified by folder, a third of each folder held out, as
// bench_learning splits it. Every filter learns the training part and judges the held-out part:
// - learning filter: the built-in learning filter alone;
// - chi-square plug-in: the plug-in's filter alone, with its shipped parameters;
// - shipped chain: the default chain, the plug-in first (a spam verdict ends the chain, a non-spam
//   one goes on), then the learning filter (either verdict ends it);
// - bogofilter: bogofilter 1.2.5 with a fresh database, in batch mode, no configuration files.
// FP counts held-out ham judged spam, FN held-out spam not judged spam (undecided spam included),
// "undecided" the held-out messages that no filter decided.
//
// Speed counts whole messages per second, file reading included, for learning the training part
// (the plug-in: in memory, then one save of its database) and for judging the held-out part; best
// of --repeat runs (default 3).
//
// --tune chooses the plug-in's parameters by 3-fold cross-validation on the training part only:
// for each combination of s, x and the minimum deviation it takes the lowest spam cut-off with at
// most one false positive over the training ham, and prints the misses at that cut-off. The
// held-out part is not looked at.
#include "chisquare/ChiSquareFilter.h"
#include "chisquare/ChiSquareScorer.h"
#include "chisquare/MessageTokenizer.h"
#include "chisquare/TokenDatabase.h"
#include "chisquare/TokenSet.h"
#include "filter/LearningFilter.h"
#include "upstream/MailMessage.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace corvanthelix;
using chisquare::ChiSquareParameters;
using chisquare::ChiSquareVerdict;
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

/// A filter's answer as the chain sees it.
enum class Answer { Spam, NonSpam, Undecided };

struct Tally {
    size_t falsePositives = 0;
    size_t falseNegatives = 0;
    size_t undecided = 0;
    void count(Answer answer, bool spam) {
        if (answer == Answer::Spam && !spam) ++falsePositives;
        if (answer != Answer::Spam && spam) ++falseNegatives;
        if (answer == Answer::Undecided) ++undecided;
    }
};

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::vector<std::string> filesOf(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// The same split as bench_learning: Fisher-Yates with the generator's raw output per folder.
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
        for (size_t i = files.size(); i > 1; --i) std::swap(files[i - 1], files[random() % i]);
        size_t heldOut = (files.size() + 1) / 3;
        for (size_t i = 0; i < files.size(); ++i) (i < heldOut ? split.heldOut : split.training).push_back({files[i], spam});
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

Answer fromLearning(int verdict) {
    return verdict == FilterVerdict::kSpam ? Answer::Spam
           : verdict == FilterVerdict::kNonSpam ? Answer::NonSpam : Answer::Undecided;
}

Answer fromChiSquare(ChiSquareVerdict verdict) {
    return verdict == ChiSquareVerdict::Spam ? Answer::Spam
           : verdict == ChiSquareVerdict::NonSpam ? Answer::NonSpam : Answer::Undecided;
}

/// The chain's rule: filters in order, each from a fresh verdict; a decision ends the chain unless
/// the filter's behaviour for it is to go on; what is left after the last filter that ran counts.
struct ChainStep {
    Answer answer;
    bool continueOnSpam;
    bool continueOnNonSpam;
};
Answer runChain(const std::vector<ChainStep>& steps) {
    Answer state = Answer::Undecided;
    for (const ChainStep& step : steps) {
        state = Answer::Undecided; // every filter starts from a fresh verdict
        if (step.answer == Answer::Undecided) continue;
        state = step.answer;
        if (step.answer == Answer::Spam && !step.continueOnSpam) break;
        if (step.answer == Answer::NonSpam && !step.continueOnNonSpam) break;
    }
    return state;
}

struct OursRun {
    Tally learning, chiSquare, chain;
    double learnSeconds = 0;  // the plug-in's learning, file reading included
    double scoreSeconds = 0;  // the plug-in's judging, file reading included
    size_t tokens = 0;
    size_t databaseBytes = 0;
    double learnAndSaveMs = 0; // one message learned through the learn service, file replaced
};

OursRun runOurs(const Split& split) {
    OursRun run;
    char folderTemplate[] = "/tmp/corvanthelix-accuracy-XXXXXX";
    std::string folder = mkdtemp(folderTemplate) ? folderTemplate : "/tmp";

    chisquare::ChiSquareFilter chiSquare(chisquare::shippedParameters());
    chiSquare.open(folder + "/words.db");
    Clock::time_point start = Clock::now();
    for (const Sample& sample : split.training) chiSquare.learn(readMessage(sample.path), sample.spam, false);
    chiSquare.save();
    run.learnSeconds = secondsSince(start);
    run.tokens = chiSquare.stats().tokens;
    run.databaseBytes = std::filesystem::file_size(folder + "/words.db");
    // What the plug-in does for each message the host learns: learn it and replace the file.
    {
        chisquare::ChiSquareFilter copy(chisquare::shippedParameters());
        copy.open(folder + "/words.db");
        size_t count = std::min<size_t>(20, split.training.size());
        Clock::time_point saving = Clock::now();
        for (size_t i = 0; i < count; ++i) copy.learn(readMessage(split.training[i].path), split.training[i].spam, true);
        run.learnAndSaveMs = count ? 1000.0 * secondsSince(saving) / double(count) : 0;
    }

    LearningFilter learning;
    learning.load(folder + "/training", LearningFilter::memoryLimitForSetting(2048));
    MailMessage message;
    for (const Sample& sample : split.training) {
        message.parse(readMessage(sample.path));
        learning.learn(&message, sample.spam);
    }

    std::vector<Answer> chiAnswers;
    start = Clock::now();
    for (const Sample& sample : split.heldOut) chiAnswers.push_back(fromChiSquare(chiSquare.judge(readMessage(sample.path)).verdict));
    run.scoreSeconds = secondsSince(start);

    char reason[LearningFilter::kVerdictReasonCapacity];
    for (size_t i = 0; i < split.heldOut.size(); ++i) {
        const Sample& sample = split.heldOut[i];
        message.parse(readMessage(sample.path));
        double probability = 0;
        Answer learned = fromLearning(learning.verdict(&message, probability, reason));
        run.learning.count(learned, sample.spam);
        run.chiSquare.count(chiAnswers[i], sample.spam);
        run.chain.count(runChain({{chiAnswers[i], false, true}, {learned, false, false}}), sample.spam);
    }
    std::filesystem::remove_all(folder);
    return run;
}

/// Times the plug-in's judging of the held-out part once more (for the best of several runs).
double timeChiSquareScoring(const Split& split, const chisquare::ChiSquareFilter& filter) {
    Clock::time_point start = Clock::now();
    size_t spam = 0;
    for (const Sample& sample : split.heldOut) spam += filter.judge(readMessage(sample.path)).verdict == ChiSquareVerdict::Spam;
    double seconds = secondsSince(start);
    if (spam > split.heldOut.size()) std::puts(""); // keeps the loop from being optimised away
    return seconds;
}

struct ProcessRun {
    bool ok = false;
    double seconds = 0;
    std::string output;
};

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
    waitpid(child, &status, 0);
    run.seconds = secondsSince(start);
    // bogofilter's exit code tells the last verdict; only a failure to start or an error counts.
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) != 127 && WEXITSTATUS(status) != 3;
    return run;
}

struct BogoRun {
    bool ok = false;
    Tally tally;
    double learnSeconds = 0;
    double scoreSeconds = 0;
};

BogoRun runBogofilter(const Split& split) {
    BogoRun run;
    char folderTemplate[] = "/tmp/corvanthelix-bogofilter-XXXXXX";
    if (!mkdtemp(folderTemplate)) return run;
    std::string folder = folderTemplate;
    auto command = [&](const char* mode, const std::vector<Sample>& samples, int spamOnly) {
        std::vector<std::string> arguments = {"bogofilter", "-C", "-d", folder, mode, "-B"};
        for (const Sample& s : samples)
            if (spamOnly < 0 || s.spam == bool(spamOnly)) arguments.push_back(s.path);
        return arguments;
    };
    ProcessRun spam = runProcess(command("-s", split.training, 1));
    ProcessRun ham = runProcess(command("-n", split.training, 0));
    ProcessRun score = runProcess(command("-T", split.heldOut, -1));
    std::filesystem::remove_all(folder);
    if (!spam.ok || !ham.ok || !score.ok) return run;
    run.learnSeconds = spam.seconds + ham.seconds;
    run.scoreSeconds = score.seconds;
    // Lines: "<path> <S|H|U> <probability>", in the order of the arguments.
    std::istringstream lines(score.output);
    std::string line;
    size_t judged = 0;
    while (std::getline(lines, line) && judged < split.heldOut.size()) {
        size_t last = line.rfind(' ');
        if (last == std::string::npos || last < 2) continue;
        char verdict = line[last - 1];
        Answer answer = verdict == 'S' ? Answer::Spam : verdict == 'H' ? Answer::NonSpam : Answer::Undecided;
        run.tally.count(answer, split.heldOut[judged++].spam);
    }
    run.ok = judged == split.heldOut.size();
    return run;
}

// --- Tuning on the training part ---------------------------------------------------------------

void tune(const Split& split, uint32_t seed) {
    const std::vector<Sample>& samples = split.training;
    std::printf("tuning on the training part only: %zu messages, 3-fold cross-validation\n", samples.size());
    std::vector<chisquare::TokenSet> tokens(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) chisquare::MessageTokenizer::tokenize(readMessage(samples[i].path), tokens[i]);
    // Folds stratified by kind, from the seed.
    std::vector<int> fold(samples.size());
    std::mt19937 random(seed ^ 0x5eedu);
    for (int kind = 0; kind < 2; ++kind) {
        std::vector<size_t> members;
        for (size_t i = 0; i < samples.size(); ++i)
            if (samples[i].spam == bool(kind)) members.push_back(i);
        for (size_t i = members.size(); i > 1; --i) std::swap(members[i - 1], members[random() % i]);
        for (size_t i = 0; i < members.size(); ++i) fold[members[i]] = int(i % 3);
    }
    std::vector<chisquare::TokenDatabase> databases(3);
    for (int f = 0; f < 3; ++f)
        for (size_t i = 0; i < samples.size(); ++i)
            if (fold[i] != f) databases[size_t(f)].learn(tokens[i], samples[i].spam);
    size_t spamCount = 0;
    for (const Sample& s : samples) spamCount += s.spam;
    size_t hamCount = samples.size() - spamCount;

    std::printf("%6s %6s %6s | %s\n", "s", "x", "mindev", "lowest spam cut-off with at most 0 (1, 2) FP in the training ham");
    for (double s : {0.45, 1.0, 2.0}) {
        for (double x : {0.5, 0.52}) {
            for (double minDeviation : {0.1, 0.3, 0.4, 0.45}) {
                ChiSquareParameters parameters;
                parameters.strength = s;
                parameters.assumed = x;
                parameters.minDeviation = minDeviation;
                chisquare::ChiSquareScorer scorer(parameters);
                std::vector<double> indicator(samples.size());
                for (size_t i = 0; i < samples.size(); ++i)
                    indicator[i] = scorer.score(tokens[i], databases[size_t(fold[i])]).indicator;
                // The lowest cut-off that leaves at most `allowed` training ham at or above it.
                std::vector<double> hamIndicators;
                for (size_t i = 0; i < samples.size(); ++i)
                    if (!samples[i].spam) hamIndicators.push_back(indicator[i]);
                std::sort(hamIndicators.rbegin(), hamIndicators.rend());
                std::printf("%6.2f %6.2f %6.2f |", s, x, minDeviation);
                for (size_t allowed : {size_t(0), size_t(1), size_t(2)}) {
                    double cut = std::nextafter(hamIndicators[allowed], 2.0);
                    size_t fn = 0;
                    for (size_t i = 0; i < samples.size(); ++i) fn += samples[i].spam && indicator[i] < cut;
                    std::printf("  FP<=%zu: cut %.12f FN %zu (%.1f %%)", allowed, cut, fn, 100.0 * double(fn) / double(spamCount));
                }
                std::printf("\n");
                if (std::getenv("TUNE_SHOW")) {
                    for (size_t i = 0; i < samples.size(); ++i)
                        if (!samples[i].spam && indicator[i] >= hamIndicators[4])
                            std::printf("    ham %.12f %s\n", indicator[i], samples[i].path.c_str());
                }
            }
        }
    }
    (void)hamCount;
}

std::string defaultCorpus() {
    if (const char* env = std::getenv("CORVANTHELIX_CORPUS")) return std::string(env) + "/messages";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.cache/corvanthelix/corpus/messages";
}

/// Runs bench/fetch_corpus.sh and returns the folder it printed last, or "".
std::string fetchCorpus() {
    std::string command = std::string("bash '") + CORVANTHELIX_SOURCE_DIR + "/bench/fetch_corpus.sh'";
    std::printf("no corpus yet: running %s\n", command.c_str());
    std::fflush(stdout);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    std::string last;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        last = line;
        while (!last.empty() && (last.back() == '\n' || last.back() == '\r')) last.pop_back();
    }
    return pclose(pipe) == 0 ? last : std::string();
}

void printTally(const char* name, const Tally& tally) {
    std::printf("%s: FP %zu FN %zu undecided %zu\n", name, tally.falsePositives, tally.falseNegatives, tally.undecided);
}

} // namespace

int main(int argc, char** argv) {
    std::string corpus;
    uint32_t seed = 20020;
    int repeat = 3;
    bool tuning = false;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        bool hasValue = i + 1 < argc;
        if (option == "--tune") tuning = true;
        else if (option == "--seed" && hasValue) seed = uint32_t(std::strtoul(argv[++i], nullptr, 10));
        else if (option == "--corpus" && hasValue) corpus = argv[++i];
        else if (option == "--repeat" && hasValue) repeat = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: %s [--seed N] [--corpus DIR] [--repeat N] [--tune]\n", argv[0]);
            return 2;
        }
    }
    if (corpus.empty()) corpus = defaultCorpus();
    if (!std::filesystem::is_directory(corpus)) corpus = fetchCorpus();
    if (corpus.empty() || !std::filesystem::is_directory(corpus)) {
        std::fprintf(stderr, "no corpus: bench/fetch_corpus.sh failed\n");
        return 1;
    }
#ifndef NDEBUG
    std::printf("note: this is not a Release build; its speed figures are not representative\n");
#endif
    Split split = splitCorpus(corpus, seed);
    size_t trainSpam = 0, testSpam = 0;
    for (const Sample& s : split.training) trainSpam += s.spam;
    for (const Sample& s : split.heldOut) testSpam += s.spam;
    std::printf("corpus %s, seed %u: training %zu (%zu spam), held out %zu (%zu spam, %zu ham)\n", corpus.c_str(), seed,
                split.training.size(), trainSpam, split.heldOut.size(), testSpam, split.heldOut.size() - testSpam);
    if (tuning) {
        tune(split, seed);
        return 0;
    }

    OursRun ours = runOurs(split);
    BogoRun bogo = runBogofilter(split);
    if (!bogo.ok) {
        std::fprintf(stderr, "bogofilter failed (is it installed? scripts/setup.sh installs it)\n");
        return 1;
    }
    // Speed: best of `repeat` runs each, measured in turns so that both see the same machine load.
    chisquare::ChiSquareFilter timed(chisquare::shippedParameters());
    for (const Sample& sample : split.training) timed.learn(readMessage(sample.path), sample.spam, false);
    double chiScore = ours.scoreSeconds, chiLearn = ours.learnSeconds;
    double bogoScore = bogo.scoreSeconds, bogoLearn = bogo.learnSeconds;
    for (int r = 1; r < repeat; ++r) {
        chiScore = std::min(chiScore, timeChiSquareScoring(split, timed));
        BogoRun again = runBogofilter(split);
        if (again.ok) {
            bogoScore = std::min(bogoScore, again.scoreSeconds);
            bogoLearn = std::min(bogoLearn, again.learnSeconds);
        }
        chiLearn = std::min(chiLearn, runOurs(split).learnSeconds);
    }

    std::printf("\n");
    printTally("learning filter", ours.learning);
    printTally("chi-square plug-in", ours.chiSquare);
    printTally("shipped chain", ours.chain);
    printTally("bogofilter", bogo.tally);

    double training = double(split.training.size()), heldOut = double(split.heldOut.size());
    double learnRate = training / chiLearn, bogoLearnRate = training / bogoLearn;
    double scoreRate = heldOut / chiScore, bogoScoreRate = heldOut / bogoScore;
    std::printf("\n%-22s %16s %12s %8s\n", "speed (msg/s)", "chi-square plug-in", "bogofilter", "ratio");
    std::printf("%-22s %16.0f %12.0f %7.2fx\n", "learning", learnRate, bogoLearnRate, learnRate / bogoLearnRate);
    std::printf("%-22s %16.0f %12.0f %7.2fx  (goal >= 2x: %s)\n", "scoring", scoreRate, bogoScoreRate,
                scoreRate / bogoScoreRate, scoreRate >= 2 * bogoScoreRate ? "met" : "NOT met");
    std::printf("plug-in database: %zu tokens, %zu bytes on disk; one message learned through the learn service "
                "(database file replaced): %.1f ms; best of %d runs\n",
                ours.tokens, ours.databaseBytes, ours.learnAndSaveMs, repeat);
    return 0;
}
