// Any history.zrk: loading must stay in bounds, and the loaded entries must
// come back unchanged when written in the file format and read again.
#include "app/core/filter_app.h"
#include "filter/history_format.h"

#include "fuzz_data_dir.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

bool Same(const HistoryEntry& x, const HistoryEntry& y) {
    return x.Date == y.Date && x.From == y.From && x.Subject == y.Subject && x.Reason == y.Reason &&
           x.Body == y.Body && x.Status == y.Status;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CFuzzDataDir dir;
    const std::string path = dir.Path + "/" + kHistoryFileName;
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!file)
            std::abort();
    }
    CFilterApp loaded;
    loaded.InstallPath = dir.Path;
    loaded.LoadHistoryFile();
    const auto entries = loaded.GetHistorySnapshot();
    if (entries.size() > size)
        std::abort();

    std::string written;
    for (const auto& entry : entries)
        AppendHistoryRecord(written, *entry);
    size_t complete = 0;
    const std::vector<HistoryEntry> again = ParseHistoryText(written, complete);
    if (complete != written.size() || again.size() != entries.size())
        std::abort();
    for (size_t i = 0; i < again.size(); ++i)
        if (!Same(again[i], *entries[i]))
            std::abort();
    return 0;
}
