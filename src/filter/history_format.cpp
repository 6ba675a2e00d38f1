#include "filter/history_format.h"

#include <algorithm>

namespace {
// The end marker has no border and the substitute shares no character
// sequence with it across its ends, so one pass leaves no marker behind.
void AppendWithoutMarker(std::string& out, std::string_view text) {
    for (size_t at; (at = text.find(kHistoryEndMarker)) != std::string_view::npos;) {
        out.append(text.substr(0, at));
        out.append(kHistoryEndMarkerSubstitute);
        text.remove_prefix(at + kHistoryEndMarker.size());
    }
    out.append(text);
}

// A field before the body: neither a bar nor the end marker.
void AppendHeadField(std::string& out, std::string_view field) {
    const size_t start = out.size();
    AppendWithoutMarker(out, field);
    for (size_t i = start; i < out.size(); ++i)
        if (out[i] == '|')
            out[i] = kHistoryBarSubstitute;
    out += '|';
}
} // namespace

std::string StoredHistoryField(std::string_view field) {
    std::string stored;
    AppendHeadField(stored, field);
    stored.pop_back();
    return stored;
}

void AppendHistoryRecord(std::string& out, const HistoryEntry& entry) {
    out.reserve(out.size() + entry.Date.size() + entry.From.size() + entry.Subject.size() +
                entry.Reason.size() + entry.Body.size() + 40);
    AppendHeadField(out, entry.Date);
    AppendHeadField(out, entry.From);
    AppendHeadField(out, entry.Subject);
    AppendHeadField(out, entry.Reason);
    out += kHistorySeparator;
    AppendWithoutMarker(out, entry.Body);
    out += ' ';
    out += kHistoryEndMarker;
    out += "\r\n";
}

namespace {
// Splits one record (without marker and CR LF) into its fields.
HistoryEntry SplitRecord(std::string_view record) {
    HistoryEntry entry;
    std::string_view fields[4];
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        size_t bar = record.find('|', pos);
        if (bar == std::string_view::npos) {
            fields[i] = record.substr(std::min(pos, record.size()));
            pos = record.size();
            break;
        }
        fields[i] = record.substr(pos, bar - pos);
        pos = bar + 1;
    }
    entry.Date = fields[0];
    entry.From = fields[1];
    entry.Subject = fields[2];
    entry.Reason = fields[3];
    // The body follows the separator after the fourth bar; the blank before
    // the end marker is not part of it.
    size_t separator = record.find(kHistorySeparator, pos);
    if (separator != std::string_view::npos) {
        std::string_view body = record.substr(separator + kHistorySeparator.size());
        if (!body.empty() && body.back() == ' ')
            body.remove_suffix(1);
        entry.Body = body;
    }
    // The file does not hold the status; an empty reason means the mail stayed.
    entry.Status = entry.Reason.empty() ? 1 : 0;
    return entry;
}
} // namespace

std::vector<HistoryEntry> ParseHistoryText(std::string_view text, size_t& completeBytes) {
    static const std::string terminator = std::string(kHistoryEndMarker) + "\r\n";
    std::vector<HistoryEntry> entries;
    completeBytes = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t marker = text.find(terminator, pos);
        if (marker == std::string_view::npos)
            break; // a torn last record: ignored
        entries.push_back(SplitRecord(text.substr(pos, marker - pos)));
        pos = marker + terminator.size();
        completeBytes = pos;
    }
    return entries;
}
