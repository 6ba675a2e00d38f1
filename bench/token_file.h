// A token file as long training leaves it: `tokens` distinct tokens, a few
// common ones counted thousands of times, most seen once, and the keys of
// the last kMaxKeys mails learned. Shared by the judging benchmark and the
// start-up section's data directory.
#pragma once

#include "filter/token_classifier.h"
#include "platform/digest.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

inline void LearnTokenFile(CTokenClassifier& classifier, size_t tokens) {
    const auto token = [](uint64_t index) { // spread like the tokenizer's hashes
        uint64_t h = (index + 1) * 0x9e3779b97f4a7c15ull;
        h = (h ^ (h >> 31)) * 0xbf58476d1ce4e5b9ull;
        return h ^ (h >> 29);
    };
    const size_t mails = std::min(CTokenClassifier::kMaxKeys, tokens / 6);
    std::mt19937_64 random(tokens);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<uint64_t> mail;
    for (size_t i = 0; i < mails; ++i) {
        mail.clear();
        for (size_t t = i * tokens / mails; t < (i + 1) * tokens / mails; ++t)
            mail.push_back(token(t));
        for (int common = 0; common < 40; ++common) {
            const double u = unit(random);
            mail.push_back(token(static_cast<uint64_t>(u * u * u * static_cast<double>(tokens))));
        }
        std::sort(mail.begin(), mail.end());
        mail.erase(std::unique(mail.begin(), mail.end()), mail.end());
        classifier.Learn(mail, i % 3 == 0, TextDigest(std::to_string(i)));
    }
}
