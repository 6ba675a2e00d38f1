#include "ui/history_row_builder.h"

#include "app/core/filter_app.h"
#include "filter/levels.h"
#include "platform/numconv.h"
#include "ui/message_box.h"
#include "ui/text_conv.h"

#include <algorithm>
#include <cstring>

CHistoryRowBuilder::CHistoryRowBuilder(CFilterApp& app, const QFont& font, HistoryMode mode,
                                       const LocalDateTime& d1, const LocalDateTime& d2)
    : app_(app), metrics_(font), mode_(mode), d1_(d1), d2_(d2) {
    kept_ = Measure(LocalText(app_, 23001));
    deleted_ = Measure(LocalText(app_, 23002));
    wouldBeDeleted_ = Measure(LocalText(app_, 23010));
    advances_.fill(-1);
}

CHistoryRowBuilder::Measured CHistoryRowBuilder::Measure(QString text) const {
    const int width = 3 * metrics_.horizontalAdvance(text) / 2;
    return {std::move(text), width};
}

// The reason text: looked up by the code read as a text id (0 for an empty
// code), with an empty default.
const CHistoryRowBuilder::Measured& CHistoryRowBuilder::Reason(const std::string& code) {
    auto found = reasons_.find(code);
    if (found == reasons_.end()) {
        const int textId = code.empty() ? 0 : Atoi(code);
        found =
            reasons_.emplace(code, Measure(ShownText(PrepareReasonText(LocalBytes(app_, textId)))))
                .first;
    }
    return found->second;
}

// Shaping a text is what costs; an estimate from single-character advances,
// with room for kerning, tells which texts cannot widen the column and need
// no measuring at all.
int CHistoryRowBuilder::WidthOfUnique(const QString& text, int current) {
    qint64 sum = 0;
    bool estimated = true;
    for (QChar c : text) {
        const char16_t code = c.unicode();
        if (code >= advances_.size()) {
            estimated = false;
            break;
        }
        int& advance = advances_[code];
        if (advance < 0)
            advance = metrics_.horizontalAdvance(c);
        sum += advance;
    }
    if (estimated && 3 * (sum + sum / 16 + 2) / 2 <= current)
        return current;
    return std::max(current, 3 * metrics_.horizontalAdvance(text) / 2);
}

bool CHistoryRowBuilder::Build(const std::shared_ptr<const HistoryEntry>& entry, HistoryRow& row,
                               Widths& widths) {
    auto date = dates_.find(entry->Date);
    if (date == dates_.end())
        date = dates_
                   .emplace(entry->Date,
                            Dated{Measure(ToQString(entry->Date)), ParseHistoryDate(entry->Date)})
                   .first;
    if (!IsHistoryRecordListed(mode_, date->second.Value, d1_, d2_))
        return false;
    auto sender = senders_.find(entry->From);
    if (sender == senders_.end()) {
        // Measured only when it might widen the column (width 0: the column
        // has its share already).
        QString text = ShownHeaderText(entry->From);
        widths[1] = WidthOfUnique(text, widths[1]);
        sender = senders_.emplace(entry->From, Measured{std::move(text), 0}).first;
    }
    // A dry run's record: the reason after the mark, the status says so.
    const bool dryRun = entry->Reason.starts_with(kDryRunReasonPrefix);
    const Measured& status = entry->Reason.empty() ? kept_ : dryRun ? wouldBeDeleted_ : deleted_;
    const Measured& reason =
        Reason(dryRun ? entry->Reason.substr(std::strlen(kDryRunReasonPrefix)) : entry->Reason);

    row.Entry = entry;
    row.Cells = {date->second.Shown.Text, sender->second.Text, ShownHeaderText(entry->Subject),
                 status.Text, reason.Text};
    widths[0] = std::max(widths[0], date->second.Shown.Width);
    widths[1] = std::max(widths[1], sender->second.Width);
    widths[2] = WidthOfUnique(row.Cells[2], widths[2]);
    widths[3] = std::max(widths[3], status.Width);
    widths[4] = std::max(widths[4], reason.Width);
    return true;
}
