#pragma once
// Texts of the learned score, as the language file numbers them.
#include "filter/token_classifier.h"

inline constexpr int kTextProbablySpam = 17040;
inline constexpr int kTextProbablyNotSpam = 17041;
inline constexpr int kTextNotSure = 17042;
inline constexpr int kTextGuessLabel = 17043;    // "What Drossgate thinks:"
inline constexpr int kTextScoreLabel = 17044;    // "Learned spam score:"
inline constexpr int kTextLearnProgress = 17045; // "Learning: %1 of %2 mails"
inline constexpr int kTextLearnDone = 17046;     // "Learned %1 mails as %2."
inline constexpr int kTextLearnFailed = 17047;   // "Nothing to learn from at %1."
inline constexpr int kTextSpamKind = 17048;      // "spam"
inline constexpr int kTextHamKind = 17049;       // "not spam"

inline int GuessTextId(SpamGuess guess) {
    switch (guess) {
    case SpamGuess::ProbablySpam:
        return kTextProbablySpam;
    case SpamGuess::ProbablyNotSpam:
        return kTextProbablyNotSpam;
    case SpamGuess::NotSure:
        break;
    }
    return kTextNotSure;
}
