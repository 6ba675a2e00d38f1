#include "app/core/blocked_sender.h"

#include "app/core/filter_app.h"
#include "filter/mail_message.h"
#include "store/sender_list.h"

#include <vector>

namespace {

struct BlockingEntry {
    int64_t Offset = 0;
    std::string Name, Domain;
};

// The live entries of the blocked list that block `sender`.
std::vector<BlockingEntry> BlockingEntries(CFilterApp& app, const std::string& sender) {
    std::vector<CFilterApp::SenderRow> rows;
    app.LoadSenderList(&rows, kBlockedListFileName);
    const size_t at = sender.find('@');
    const std::string domain = at == std::string::npos ? sender : sender.substr(at + 1);
    const std::string bare =
        app.MatchBareAddress.load() ? FoldSenderDomain(BareSenderAddress(sender)) : std::string();
    const size_t bareAt = bare.rfind('@');
    std::vector<BlockingEntry> found;
    for (const CFilterApp::SenderRow& row : rows) {
        // The rows come as "{name} @domain"; a name holds no "@".
        const size_t split = row.DisplayText.find("} @");
        if (!row.DisplayText.starts_with('{') || split == std::string::npos)
            continue;
        BlockingEntry entry{row.Offset, row.DisplayText.substr(1, split - 1),
                            row.DisplayText.substr(split + 3)};
        const bool wholeDomain = entry.Name == kWholeDomainName;
        const std::string listed = wholeDomain ? entry.Domain : entry.Name + "@" + entry.Domain;
        bool blocks = listed == (wholeDomain ? domain : sender);
        if (!blocks && bareAt != std::string::npos)
            blocks = FoldSenderDomain(listed) == (wholeDomain ? bare.substr(bareAt + 1) : bare);
        if (blocks)
            found.push_back(std::move(entry));
    }
    return found;
}

} // namespace

bool IsSenderBlocked(CFilterApp& app, const std::string& sender) {
    return !sender.empty() && !BlockingEntries(app, sender).empty();
}

int UnblockSender(CFilterApp& app, const std::string& sender) {
    if (sender.empty())
        return 0;
    const std::vector<BlockingEntry> entries = BlockingEntries(app, sender);
    for (const BlockingEntry& entry : entries) {
        app.MarkSenderDeleted(kBlockedListFileName, entry.Offset);
        if (entry.Name == kWholeDomainName)
            app.BlockedDomains.Remove(entry.Domain);
        else
            app.BlockedAddresses.Remove(entry.Name + "@" + entry.Domain);
    }
    return static_cast<int>(entries.size());
}
