// Opening the history viewer over a long history, as "History Report" does:
// the dialog is made, filled with every record listed by its first rule
// ("Before" today), shown and painted (offscreen). The same opening over an
// empty history is measured in the same run, for the ratio.
//   bench_history_viewer DATA_DIR [ROUNDS]     prints one JSON object
#include "app/core/filter_app.h"
#include "ui/history_dialog.h"
#include "ui/history_model.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One opening: construction, fill, show, the first paint. Returns the time
// and leaves the number of listed rows in `rows`.
double OpenOnce(CFilterApp& app, int& rows) {
    const auto start = Clock::now();
    CHistoryDialog dialog(app, nullptr);
    dialog.Initialise();
    dialog.show();
    QApplication::processEvents();
    rows = dialog.Model()->rowCount();
    const double elapsed = MillisecondsSince(start);
    dialog.hide();
    return elapsed;
}

std::string JsonList(const std::vector<double>& values) {
    std::string text = "[";
    for (size_t i = 0; i < values.size(); ++i)
        text += (i ? ", " : "") + std::to_string(values[i]);
    return text + "]";
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_history_viewer DATA_DIR [ROUNDS]\n");
        return 64;
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QApplication qtApp(argc, argv);

    CFilterApp full;
    full.InstallPath = argv[1];
    const auto loadStart = Clock::now();
    full.LoadHistoryFile();
    const double loadMs = MillisecondsSince(loadStart);

    CFilterApp empty;
    std::vector<double> fullMs, emptyMs;
    int fullRows = 0, emptyRows = 0;
    // Alternated, so that a burst of load on the machine hits both alike.
    for (int i = 0; i < rounds; ++i) {
        emptyMs.push_back(OpenOnce(empty, emptyRows));
        fullMs.push_back(OpenOnce(full, fullRows));
    }
    std::printf("{\"records\": %zu, \"rows\": %d, \"load_ms\": %.3f, \"open_ms\": %s, "
                "\"empty_rows\": %d, \"empty_open_ms\": %s}\n",
                full.GetHistorySize(), fullRows, loadMs, JsonList(fullMs).c_str(), emptyRows,
                JsonList(emptyMs).c_str());
    return 0;
}
