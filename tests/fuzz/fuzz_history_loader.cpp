// Any history.zrk: loading stays in bounds; the loaded entries, written, read back the same.
#include "app/core/filter_app.h"
#include "filter/history_format.h"

#include "fuzz_data_dir.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CFuzzDataDir dir;
    const std::string path = dir.Path + "/" + kHistoryFileName;
    if (!(std::ofstream(path, std::ios::binary | std::ios::trunc)
          << std::string(reinterpret_cast<const char*>(data), size)))
        std::abort();
    CFilterApp loaded;
    loaded.InstallPath = dir.Path;
    loaded.LoadHistoryFile();
    const auto entries = loaded.GetHistorySnapshot();
    if (entries.size() > size)
        std::abort();

    // The writer replaces markers and bars the loaded fields may hold: compare its own read-back.
    std::string written, rewritten;
    for (const auto& entry : entries)
        AppendHistoryRecord(written, *entry);
    size_t complete = 0;
    const std::vector<HistoryEntry> again = ParseHistoryText(written, complete);
    for (const auto& entry : again)
        AppendHistoryRecord(rewritten, entry);
    if (complete != written.size() || again.size() != entries.size() || rewritten != written)
        std::abort();
    return 0;
}
