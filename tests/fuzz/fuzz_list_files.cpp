// Any sender list or account file: loading stays in bounds, and compaction
// keeps exactly the live records.
#include "app/core/filter_app.h"

#include "fuzz_data_dir.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace {

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// How many live records the two files hold, as the program loads them.
std::pair<size_t, size_t> LiveRecords(CFilterApp& app) {
    std::vector<CFilterApp::SenderRow> senders;
    app.LoadSenderList(&senders, kFriendListFileName);
    std::vector<CFilterApp::AccountRow> accounts;
    std::vector<std::string> names;
    app.LoadAccountList(&accounts, names);
    return {senders.size(), accounts.size()};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CFuzzDataDir dir;
    CFilterApp app;
    app.InstallPath = dir.Path;
    WriteFile(app.DataFilePath(kFriendListFileName), data, size);
    WriteFile(app.DataFilePath(kAccountFileName), data, size);

    const auto before = LiveRecords(app);
    app.ReadAccountLists();
    app.CompactDataFile(kFriendListFileName, "|*|");
    app.CompactDataFile(kAccountFileName, "-->");
    // Compaction drops dead lines only. For files whose lines the program
    // could have written (each ends in CR LF, no other CR, at least three
    // bytes) every live record is still there; hand-damaged lines only have
    // to load without harm.
    std::string_view text(reinterpret_cast<const char*>(data), size);
    bool wellFormed = true;
    for (size_t pos = 0; pos < text.size() && wellFormed;) {
        size_t lf = text.find('\n', pos);
        std::string_view line =
            text.substr(pos, lf == std::string_view::npos ? text.npos : lf - pos);
        wellFormed = lf != std::string_view::npos && line.size() >= 4 && line.back() == '\r' &&
                     line.find('\r') == line.size() - 1;
        pos = lf + 1;
    }
    if (!wellFormed)
        return 0;
    if (LiveRecords(app) != before)
        std::abort();
    return 0;
}
