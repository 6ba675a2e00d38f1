// Trains the learned score of the effectiveness benchmark: every message of
// TRAIN_DIR/ham counted as kept mail, every one of TRAIN_DIR/spam as refused
// mail, through the same decoding, tokens and mail identity the program's
// own training uses; the counts are saved where a data directory keeps them.
//
//   bench_train OUT_FILE TRAIN_DIR
//
// Prints one JSON object: the mails and tokens learned.
#include "filter/mail_decoder.h"
#include "filter/token_classifier.h"
#include "platform/digest.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUT_FILE TRAIN_DIR\n", argv[0]);
        return 2;
    }
    CTokenClassifier classifier;
    int undecoded = 0;
    for (const char* kind : {"ham", "spam"}) {
        // Sorted: the same training gives the same file.
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(fs::path(argv[2]) / kind))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::string text{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
            const DecodedMail mail = DecodeMail(text);
            if (!mail.Parsed)
                ++undecoded;
            // The identity `drossgate-ctl learn` gives a mail: the same
            // message given twice is learned once.
            classifier.Learn(MailTokens(mail), kind[0] == 's', "m:" + TextDigest(text));
        }
    }
    std::string error;
    if (classifier.Save(argv[1], &error) != 0) {
        std::fprintf(stderr, "cannot save %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::printf("{\"ham\": %u, \"spam\": %u, \"tokens\": %zu, \"undecoded\": %d}\n",
                classifier.HamMails(), classifier.SpamMails(), classifier.TokenCount(), undecoded);
    return 0;
}
