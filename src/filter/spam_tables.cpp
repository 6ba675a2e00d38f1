#include "filter/spam_tables.h"

#include "app/core/filter_app.h"
#include "platform/numconv.h"

#include <limits>

int SplitSpamEntry(const std::string& entry, SpamEntryParts& parts) {
    size_t mark = entry.rfind('>');
    if (mark == std::string::npos)
        return -1;
    parts.Expression = entry.substr(0, mark);
    parts.DegreeText = entry.substr(mark + 1);
    parts.Degree = Atoi(parts.DegreeText);
    return 1;
}

// Runs on the window thread before the first check starts. Rebuilding from
// scratch keeps a second call from doubling the tables.
void CFilterApp::BuildSpamWordTables() {
    SpamExpressionList.clear();
    SpamDegreeList.clear();
    int64_t total = 0;
    const auto words = SpamWordList.Get();
    for (const std::string& entry : *words) {
        SpamEntryParts parts;
        if (SplitSpamEntry(entry, parts) != 1)
            continue;
        SpamExpressionList.push_back(std::move(parts.Expression));
        SpamDegreeList.push_back(parts.Degree);
        total += parts.Degree;
    }
    // The total saturates: only hand-edited degrees summing beyond 32 bits
    // make it differ from the exact sum.
    if (total > std::numeric_limits<int>::max())
        total = std::numeric_limits<int>::max();
    if (total < std::numeric_limits<int>::min())
        total = std::numeric_limits<int>::min();
    SpamDegreeTotal = static_cast<int>(total);
    SpamTablesBuilt = true;
}
