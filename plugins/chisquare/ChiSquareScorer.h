#pragma once
// Robinson's token probabilities combined with Fisher's chi-square method.
//
// For a token seen in b of the nSpam learned spam and g of the nHam learned non-spam messages:
//   p(w) = (b / nSpam) / (b / nSpam + g / nHam)
//   f(w) = (s * x + n * p(w)) / (s + n),  n = b + g
// with s the strength given to the assumed probability x of a token with little evidence. The
// tokens with |f(w) - 0.5| above the minimum deviation (at most the `maxClues` farthest from 0.5)
// are combined:
//   H = Q(-2 sum ln f(w), 2N),  S = Q(-2 sum ln (1 - f(w)), 2N),  I = (1 + H - S) / 2
// where Q is the chi-square survival function and N the number of tokens used. I near 1 is spam,
// near 0 non-spam, and near 0.5 when the evidence is weak or pulls both ways.
#include "chisquare/TokenDatabase.h"
#include "chisquare/TokenSet.h"

#include <cstddef>
#include <string>
#include <vector>

namespace corvanthelix::chisquare {

struct ChiSquareParameters {
    /// s: the strength of the assumed probability, in messages.
    double strength = 0.45;
    /// x: the probability of a token that has not been seen.
    double assumed = 0.5;
    /// Tokens with |f(w) - 0.5| at or below this do not count.
    double minDeviation = 0.1;
    /// At most this many tokens, those farthest from 0.5, count.
    size_t maxClues = 150;
    /// I at or above: spam; at or below hamCutoff: non-spam; between: undecided.
    double spamCutoff = 0.9;
    double hamCutoff = 0.2;
};

/// The parameters the plug-in ships with, chosen by cross-validation on the training part of the
/// benchmark corpus (bench_accuracy --tune).
ChiSquareParameters shippedParameters();

enum class ChiSquareVerdict { Spam, NonSpam, Undecided };

struct ChiSquareScore {
    /// I, 0...1; 0.5 when no token counts.
    double indicator = 0.5;
    ChiSquareVerdict verdict = ChiSquareVerdict::Undecided;
    /// The tokens that counted.
    size_t clues = 0;
    /// The strongest spam tokens with their f(w), strongest first (at most kReportedClues).
    std::vector<std::pair<std::string, double>> spamClues;
};

class ChiSquareScorer {
public:
    static constexpr size_t kReportedClues = 8;

    explicit ChiSquareScorer(ChiSquareParameters parameters = {}) : parameters_(parameters) {}
    const ChiSquareParameters& parameters() const { return parameters_; }

    /// Q(chi2, degrees): the probability that a chi-square variable with `degrees` (even, >= 2)
    /// degrees of freedom is at least `chi2`. Exact for even degrees; 1 for chi2 <= 0.
    static double chiSquareSurvival(double chi2, int degrees);

    /// Robinson's f(w) for a token in `spam` of `spamMessages` and `ham` of `hamMessages` messages
    /// (a class without messages counts as one message, so that p(w) stays defined).
    double tokenProbability(uint32_t spam, uint32_t ham, uint32_t spamMessages, uint32_t hamMessages) const;

    /// Fisher's combination of the probabilities `f` (each in (0, 1)): I as above; 0.5 for none.
    static double combine(const std::vector<double>& f);

    /// The score of a message with the tokens `tokens` against `database`. Undecided with I = 0.5
    /// when the database has not learned both spam and non-spam yet.
    ChiSquareScore score(const TokenSet& tokens, const TokenDatabase& database) const;

private:
    ChiSquareParameters parameters_;
};

} // namespace corvanthelix::chisquare
