// Any sender list or account file: loading stays in bounds, and compaction
// keeps exactly the live records. Any recycle bin file: read and listed
// without harm, and whole only when its text is part of it.
#include "app/core/filter_app.h"

#include "fuzz_data_dir.h"
#include "store/recycle_bin.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace {
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
    const std::string text(reinterpret_cast<const char*>(data), size);
    CFilterApp app;
    app.InstallPath = dir.Path;
    for (const char* name : {kFriendListFileName, kAccountFileName})
        std::ofstream(app.DataFilePath(name), std::ios::binary | std::ios::trunc) << text;

    const std::string bin = app.DataFilePath(kRecycleBinFolder), name = "1.1_1.P1.drossgate:2,";
    std::filesystem::create_directories(bin + "/cur");
    std::ofstream(bin + "/cur/" + name, std::ios::binary | std::ios::trunc) << text;
    BinnedMessage copy;
    ListRecycleBin(bin);
    if (ReadBinnedMessage(bin, name, copy) && !copy.Damaged && copy.Text.size() >= text.size())
        std::abort();

    const auto before = LiveRecords(app);
    app.ReadAccountLists();
    app.CompactDataFile(kFriendListFileName, "|*|");
    app.CompactDataFile(kAccountFileName, "-->");
    // Where every line is one the program writes (CR LF ends it, no other CR, at
    // least three bytes) compaction keeps each live record; others only load.
    for (size_t pos = 0, lf; pos < text.size(); pos = lf + 1) {
        lf = text.find('\n', pos);
        if (lf == std::string::npos || lf - pos < 4 || text.find('\r', pos) != lf - 1)
            return 0;
    }
    if (LiveRecords(app) != before)
        std::abort();
    return 0;
}
