// Accuracy of the shipped filters on the SpamAssassin public corpus, four configurations side by
// side in one run, and the speed of the chi-square plug-in against bogofilter.
//
//   bench_accuracy [--seed N | --seeds A-B] [--corpus DIR] [--repeat N] [--tune] [--why]
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
// --seeds A-B runs the seeds A to B one after the other and prints their average last. --why
// prints, for every held-out non-spam the shipped chain calls spam, which filter called it and the
// plug-in's strongest tokens with their counts in the training part (to see why; nothing is chosen
// from it).
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

/// Prints why the plug-in scored the held-out message `path` as it did: its indicator and the tokens
/// that counted most either way, with their spam and non-spam counts in `database`.
void explain(const std::string& path, const chisquare::TokenDatabase& database, const char* calledBy) {
    chisquare::TokenSet tokens;
    chisquare::MessageTokenizer::tokenize(readMessage(path), tokens);
    chisquare::ChiSquareScorer scorer(chisquare::shippedParameters());
    chisquare::ChiSquareScore score = scorer.score(tokens, database);
    std::printf("  false positive (%s): %s  I %.9f, %zu clues of %zu tokens\n", calledBy, path.c_str(), score.indicator,
                score.clues, tokens.size());
    struct Clue {
        double f;
        std::string token;
        uint32_t spam, ham;
    };
    std::vector<Clue> clues;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const chisquare::TokenCounts* counts = database.find(tokens.at(i));
        if (!counts) continue;
        double f = scorer.tokenProbability(counts->spam, counts->ham, database.spamMessages(), database.hamMessages());
        if (std::fabs(f - 0.5) > scorer.parameters().minDeviation) clues.push_back({f, std::string(tokens.at(i)), counts->spam, counts->ham});
    }
    std::sort(clues.begin(), clues.end(), [](const Clue& a, const Clue& b) { return a.f > b.f; });
    size_t spamSide = 0;
    for (const Clue& c : clues) spamSide += c.f > 0.5;
    std::printf("    %zu spam-side clues, %zu non-spam-side\n    spam side:", spamSide, clues.size() - spamSide);
    for (size_t i = 0; i < clues.size() && i < 40 && clues[i].f > 0.5; ++i)
        std::printf(" %s(%u/%u)", clues[i].token.c_str(), clues[i].spam, clues[i].ham);
    std::printf("\n    non-spam side:");
    for (size_t i = clues.size(), n = 0; i > 0 && n < 25 && clues[i - 1].f < 0.5; --i, ++n)
        std::printf(" %s(%u/%u)", clues[i - 1].token.c_str(), clues[i - 1].spam, clues[i - 1].ham);
    std::printf("\n");
}

OursRun runOurs(const Split& split, bool why = false) {
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
    chisquare::TokenDatabase explained;
    for (size_t i = 0; i < split.heldOut.size(); ++i) {
        const Sample& sample = split.heldOut[i];
        message.parse(readMessage(sample.path));
        double probability = 0;
        Answer learned = fromLearning(learning.verdict(&message, probability, reason));
        run.learning.count(learned, sample.spam);
        run.chiSquare.count(chiAnswers[i], sample.spam);
        Answer chained = runChain({{chiAnswers[i], false, true}, {learned, false, false}});
        run.chain.count(chained, sample.spam);
        if (why && !sample.spam && chained == Answer::Spam) {
            if (explained.spamMessages() == 0) {
                chisquare::TokenSet tokens;
                for (const Sample& s : split.training) {
                    chisquare::MessageTokenizer::tokenize(readMessage(s.path), tokens);
                    explained.learn(tokens, s.spam);
                }
            }
            explain(sample.path, explained, chiAnswers[i] == Answer::Spam ? "plug-in" : "learning filter");
        }
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

/// One combination of parameters under cross-validation on one seed's training part: the lowest
/// spam cut-off that leaves at most 0, 1 and 2 training non-spam at or above it, and the training
/// spam missed at each.
struct TuneRow {
    double strength, assumed, minDeviation;
    double cutoff[3];
    size_t misses[3];
    size_t spam;
};

std::vector<TuneRow> tune(const Split& split, uint32_t seed) {
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

    std::vector<TuneRow> rows;
    std::printf("%6s %6s %6s | %s\n", "s", "x", "mindev", "lowest spam cut-off with at most 0 (1, 2) FP in the training ham");
    for (double s : {0.45, 1.0}) {
        for (double x : {0.5}) {
            for (double minDeviation : {0.1, 0.2, 0.3, 0.4, 0.45}) {
                ChiSquareParameters parameters;
                parameters.strength = s;
                parameters.assumed = x;
                parameters.minDeviation = minDeviation;
                chisquare::ChiSquareScorer scorer(parameters);
                std::vector<double> indicator(samples.size());
                for (size_t i = 0; i < samples.size(); ++i)
                    indicator[i] = scorer.score(tokens[i], databases[size_t(fold[i])]).indicator;
                std::vector<double> hamIndicators;
                for (size_t i = 0; i < samples.size(); ++i)
                    if (!samples[i].spam) hamIndicators.push_back(indicator[i]);
                std::sort(hamIndicators.rbegin(), hamIndicators.rend());
                TuneRow row{s, x, minDeviation, {}, {}, spamCount};
                std::printf("%6.2f %6.2f %6.2f |", s, x, minDeviation);
                for (size_t allowed : {size_t(0), size_t(1), size_t(2)}) {
                    double cut = std::nextafter(hamIndicators[allowed], 2.0);
                    size_t fn = 0;
                    for (size_t i = 0; i < samples.size(); ++i) fn += samples[i].spam && indicator[i] < cut;
                    row.cutoff[allowed] = cut;
                    row.misses[allowed] = fn;
                    std::printf("  FP<=%zu: cut %.9f FN %zu (%.1f %%)", allowed, cut, fn, 100.0 * double(fn) / double(spamCount));
                }
                std::printf("\n");
                rows.push_back(row);
                if (std::getenv("TUNE_SHOW")) {
                    for (size_t i = 0; i < samples.size(); ++i)
                        if (!samples[i].spam && indicator[i] >= hamIndicators[4])
                            std::printf("    ham %.12f %s\n", indicator[i], samples[i].path.c_str());
                }
            }
        }
    }
    return rows;
}

/// The tuning rows of several seeds side by side: per combination, the mean training misses at
/// at most two training false positives (about one per 1,383 non-spam, the goal's rate), and the
/// median and highest of the seeds' cut-offs for it.
void printTuneSummary(const std::vector<std::vector<TuneRow>>& seeds) {
    std::printf("\nover %zu seeds' training parts (at most 2 FP in the training ham):\n", seeds.size());
    std::printf("%6s %6s %6s | %10s %14s %14s\n", "s", "x", "mindev", "mean FN %", "median cut", "highest cut");
    for (size_t r = 0; r < seeds[0].size(); ++r) {
        double misses = 0, spam = 0;
        std::vector<double> cuts;
        for (const auto& rows : seeds) {
            misses += double(rows[r].misses[2]);
            spam += double(rows[r].spam);
            cuts.push_back(rows[r].cutoff[2]);
        }
        std::sort(cuts.begin(), cuts.end());
        double median = cuts.size() % 2 ? cuts[cuts.size() / 2] : (cuts[cuts.size() / 2 - 1] + cuts[cuts.size() / 2]) / 2;
        const TuneRow& row = seeds[0][r];
        std::printf("%6.2f %6.2f %6.2f | %10.2f %14.9f %14.9f\n", row.strength, row.assumed, row.minDeviation,
                    100.0 * misses / spam, median, cuts.back());
    }
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

/// One seed's figures, kept for the average over several seeds.
struct SeedFigures {
    Tally learning, chiSquare, chain, bogofilter;
    size_t heldOutSpam = 0, heldOutHam = 0;
    double learnRatio = 0, scoreRatio = 0;
};

/// Splits the corpus by `seed`, runs every filter and prints the seed's figures. False when
/// bogofilter could not be run.
bool runSeed(const std::string& corpus, uint32_t seed, int repeat, bool why, SeedFigures& figures) {
    Split split = splitCorpus(corpus, seed);
    size_t trainSpam = 0, testSpam = 0;
    for (const Sample& s : split.training) trainSpam += s.spam;
    for (const Sample& s : split.heldOut) testSpam += s.spam;
    std::printf("corpus %s, seed %u: training %zu (%zu spam), held out %zu (%zu spam, %zu ham)\n", corpus.c_str(), seed,
                split.training.size(), trainSpam, split.heldOut.size(), testSpam, split.heldOut.size() - testSpam);

    OursRun ours = runOurs(split, why);
    BogoRun bogo = runBogofilter(split);
    if (!bogo.ok) {
        std::fprintf(stderr, "bogofilter failed (is it installed? scripts/setup.sh installs it)\n");
        return false;
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
    figures = {ours.learning, ours.chiSquare, ours.chain, bogo.tally, testSpam, split.heldOut.size() - testSpam, learnRate / bogoLearnRate,
               scoreRate / bogoScoreRate};
    return true;
}

void printAverage(const char* name, const std::vector<SeedFigures>& runs, Tally SeedFigures::*which) {
    double fp = 0, fn = 0, undecided = 0, spam = 0;
    for (const SeedFigures& run : runs) {
        fp += double((run.*which).falsePositives);
        fn += double((run.*which).falseNegatives);
        undecided += double((run.*which).undecided);
        spam += double(run.heldOutSpam);
    }
    double n = double(runs.size());
    std::printf("%-20s FP %.2f  FN %.1f (%.1f %% of spam)  undecided %.1f\n", name, fp / n, fn / n, 100.0 * fn / spam,
                undecided / n);
}

} // namespace

int main(int argc, char** argv) {
    std::string corpus;
    uint32_t firstSeed = 20020, lastSeed = 20020;
    int repeat = 3;
    bool tuning = false, why = false;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        bool hasValue = i + 1 < argc;
        if (option == "--tune") tuning = true;
        else if (option == "--why") why = true;
        else if (option == "--seed" && hasValue) firstSeed = lastSeed = uint32_t(std::strtoul(argv[++i], nullptr, 10));
        else if (option == "--seeds" && hasValue) {
            char* dash = nullptr;
            firstSeed = uint32_t(std::strtoul(argv[++i], &dash, 10));
            lastSeed = *dash == '-' ? uint32_t(std::strtoul(dash + 1, nullptr, 10)) : firstSeed;
            if (lastSeed < firstSeed) std::swap(firstSeed, lastSeed);
        } else if (option == "--corpus" && hasValue) corpus = argv[++i];
        else if (option == "--repeat" && hasValue) repeat = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: %s [--seed N | --seeds A-B] [--corpus DIR] [--repeat N] [--tune] [--why]\n", argv[0]);
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
    if (tuning) {
        std::vector<std::vector<TuneRow>> seeds;
        for (uint32_t seed = firstSeed; seed <= lastSeed; ++seed) {
            Split split = splitCorpus(corpus, seed);
            std::printf("seed %u: ", seed);
            seeds.push_back(tune(split, seed));
        }
        if (seeds.size() > 1) printTuneSummary(seeds);
        return 0;
    }
    std::vector<SeedFigures> runs;
    for (uint32_t seed = firstSeed; seed <= lastSeed; ++seed) {
        SeedFigures figures;
        if (!runSeed(corpus, seed, repeat, why, figures)) return 1;
        runs.push_back(figures);
        if (seed != lastSeed) std::printf("\n");
    }
    if (runs.size() > 1) {
        std::printf("\naverage over seeds %u-%u (%zu held-out ham, %zu spam each):\n", firstSeed, lastSeed,
                    runs[0].heldOutHam, runs[0].heldOutSpam);
        printAverage("learning filter", runs, &SeedFigures::learning);
        printAverage("chi-square plug-in", runs, &SeedFigures::chiSquare);
        printAverage("shipped chain", runs, &SeedFigures::chain);
        printAverage("bogofilter", runs, &SeedFigures::bogofilter);
        double learnRatio = 0, scoreRatio = 0;
        for (const SeedFigures& run : runs) {
            learnRatio += run.learnRatio;
            scoreRatio += run.scoreRatio;
        }
        std::printf("speed against bogofilter: learning %.2fx, scoring %.2fx (mean of the seeds' ratios)\n",
                    learnRatio / double(runs.size()), scoreRatio / double(runs.size()));
    }
    return 0;
}
