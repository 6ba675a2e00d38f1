// Any token file: loading either takes all of it or nothing, and what was
// taken is written and read back to the same counts and scores.
#include "filter/token_classifier.h"

#include "fuzz_data_dir.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CFuzzDataDir dir;
    const std::string path = dir.Path + "/tokens.txt", copy = dir.Path + "/copy.txt";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    CTokenClassifier classifier;
    std::string error;
    const int loaded = classifier.Load(path, &error);
    if (loaded != 0) {
        if (loaded != -1 || error.empty() || classifier.TokenCount() != 0 ||
            classifier.SpamMails() + classifier.HamMails() != 0)
            std::abort();
        return 0;
    }
    // Tokens named by the input's own bytes, so that some of them are known.
    std::vector<uint64_t> probe;
    for (size_t i = 0; i + 8 <= size && probe.size() < 64; i += 8) {
        uint64_t token = 0;
        for (size_t j = 0; j < 8; ++j)
            token = token << 8 | data[i + j];
        probe.push_back(token);
    }
    const double score = classifier.Score(probe);
    if (!(score >= 0.0 && score <= 1.0))
        std::abort();

    CTokenClassifier back;
    if (classifier.Save(copy) != 0 || back.Load(copy) != 0 ||
        back.TokenCount() != classifier.TokenCount() ||
        back.SpamMails() != classifier.SpamMails() || back.HamMails() != classifier.HamMails() ||
        back.Score(probe) != score)
        std::abort();
    classifier.Learn(probe, size % 2 == 0, "k");
    return 0;
}
