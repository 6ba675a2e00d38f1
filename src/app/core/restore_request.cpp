#include "app/core/restore_request.h"

#include "app/core/blocked_sender.h"
#include "app/core/filter_app.h"
#include "app/core/restore.h"
#include "app/core/restore_texts.h"
#include "platform/numconv.h"
#include "store/english_texts.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

namespace {

struct Candidate {
    size_t Row = 0; // from 1
    std::shared_ptr<const HistoryEntry> Entry;
    BinnedMessage Head;
};

std::string Text(CFilterApp& app, int id) {
    return app.GetLocalizedText(id, EnglishDefault(id));
}

// The deleted records with a copy in the bin, in history order.
std::vector<Candidate> Candidates(CFilterApp& app) {
    const auto history = app.GetHistorySnapshot();
    std::vector<BinnedMessage> bin = ListRecycleBin(RecycleBinDir(app));
    const std::vector<std::string> files = MatchBinnedCopies(history, bin);
    std::unordered_map<std::string, const BinnedMessage*> byName;
    for (const BinnedMessage& copy : bin)
        byName[copy.FileName] = &copy;
    std::vector<Candidate> found;
    for (size_t i = 0; i < history.size(); ++i)
        if (!files[i].empty())
            found.push_back({i + 1, history[i], *byName.at(files[i])});
    return found;
}

std::string Folded(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool Matches(const Candidate& c, const std::string& foldedText) {
    return Folded(c.Entry->From).find(foldedText) != std::string::npos ||
           Folded(c.Entry->Subject).find(foldedText) != std::string::npos;
}

std::string Listing(const std::vector<Candidate>& rows) {
    std::string text;
    for (const Candidate& c : rows) {
        const std::string& account =
            c.Head.AccountName.empty() ? c.Head.Account : c.Head.AccountName;
        text += (text.empty() ? "" : "\n") + std::to_string(c.Row) + "  " + c.Entry->Date + "  " +
                c.Entry->From + "  " + c.Entry->Subject + "  " + account +
                (c.Head.Type == 'I' ? " (IMAP)" : " (POP3)");
    }
    return text;
}

std::string Reply(bool ok, const std::string& text) {
    return (ok ? "ok " : "error ") + EscapeReplyText(text);
}

std::string Restore(CFilterApp& app, const Candidate& c, const std::string& saveTo) {
    std::string status;
    if (!saveTo.empty()) {
        const bool absolute = saveTo.starts_with('/');
        const int result =
            absolute ? SaveBinnedCopyAs(app, c.Head.FileName, saveTo, status) : kRestoreNotSaved;
        return Reply(result > 0, absolute ? status : Text(app, kTextNotSaved));
    }
    if (c.Head.Type != 'I')
        return Reply(false, Text(app, kTextPop3CannotRestore));
    const int result = RestoreBinnedCopy(app, c.Head.FileName, status);
    if (result > 0 && IsSenderBlocked(app, c.Entry->From))
        status += "\n" + Text(app, kTextStillBlocked);
    return Reply(result > 0, status);
}

} // namespace

std::string RestoreRequestLine(const std::vector<std::string>& fields) {
    std::string line = kRestoreRequestWord;
    for (const std::string& field : fields) {
        if (field.find_first_of("\t\r\n") != std::string::npos)
            return {};
        line += '\t' + field;
    }
    return line;
}

bool IsRestoreRequest(const std::string& request) {
    return request.starts_with(std::string(kRestoreRequestWord) + '\t');
}

std::string HandleRestoreRequest(CFilterApp& app, const std::string& request) {
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        const size_t tab = request.find('\t', start);
        fields.push_back(request.substr(start, tab - start));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    const std::string verb = fields.size() > 1 ? fields[1] : std::string();
    const std::string argument = fields.size() > 2 ? fields[2] : std::string();
    const std::string saveTo = fields.size() > 3 ? fields[3] : std::string();
    if (fields[0] != kRestoreRequestWord || fields.size() > (verb == "list" ? 3u : 4u) ||
        (verb != "list" && verb != "row" && verb != "search") ||
        (verb != "list" && argument.empty()))
        return "error bad restore request";

    std::vector<Candidate> rows = Candidates(app);
    if (verb == "row") {
        const bool number =
            argument.size() <= 9 && std::all_of(argument.begin(), argument.end(),
                                                [](char c) { return c >= '0' && c <= '9'; });
        const size_t row = number ? static_cast<size_t>(Atoi(argument)) : 0;
        auto it = std::find_if(rows.begin(), rows.end(),
                               [&](const Candidate& c) { return row > 0 && c.Row == row; });
        return it == rows.end() ? Reply(false, Text(app, kTextNoMatch)) : Restore(app, *it, saveTo);
    }
    const std::string folded = Folded(argument);
    std::erase_if(rows, [&](const Candidate& c) { return !Matches(c, folded); });
    if (verb == "list")
        return Reply(true, Listing(rows));
    if (rows.size() != 1)
        return Reply(false, rows.empty() ? Text(app, kTextNoMatch)
                                         : Text(app, kTextSeveralMatch) + "\n" + Listing(rows));
    return Restore(app, rows.front(), saveTo);
}

std::string EscapeReplyText(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c != '\r')
            escaped += c;
    }
    return escaped;
}

std::string UnescapeReplyText(const std::string& text) {
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            plain += text[i + 1] == 'n' ? '\n' : text[i + 1];
            ++i;
        } else {
            plain += text[i];
        }
    }
    return plain;
}
