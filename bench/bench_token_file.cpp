// Writes a token file of a given number of tokens, for the start-up
// section's data directory.
//   bench_token_file PATH TOKENS
#include "token_file.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_token_file PATH TOKENS\n");
        return 2;
    }
    CTokenClassifier classifier;
    LearnTokenFile(classifier, std::strtoull(argv[2], nullptr, 10));
    std::string error;
    if (classifier.Save(argv[1], &error) != 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("%zu\n", classifier.TokenCount());
    return 0;
}
