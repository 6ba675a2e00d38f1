#include "store/judged_memory.h"

#include "platform/digest.h"
#include "platform/text_file.h"

#include <cctype>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr const char* kHead = "Drossgate judged messages 1";

// Fields are single-line texts without tabs.
std::string Field(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return text;
}

std::string MessageFields(const JudgedMessage& m) {
    return Field(m.Id) + '\t' + Field(m.Date) + '\t' + Field(m.KeyDigest) + '\t' + Field(m.Sender) +
           '\t' + Field(m.Subject);
}

bool ParseMessageLine(const std::string& line, JudgedMessage& m) {
    const size_t last = line.rfind('\t');
    if (last == std::string::npos || line.substr(last + 1) != TextDigest(line.substr(0, last)))
        return false;
    // Split by hand: a stream drops an empty last field (a mail without a subject).
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
        const size_t tab = std::min(line.find('\t', at), last);
        fields.push_back(line.substr(at, tab - at));
        if (tab == last)
            break;
        at = tab + 1;
    }
    if (fields.size() != 5 || fields[0].empty())
        return false;
    m = {fields[0], fields[1], fields[2], fields[3], fields[4]};
    return true;
}

} // namespace

std::string JudgedAccountKey(char typeLetter, const std::string& server, const std::string& user) {
    return std::string(1, typeLetter) + '|' + server + '|' + user;
}

std::string JudgedMemoryFileName(char typeLetter, const std::string& server,
                                 const std::string& user) {
    std::string readable = user + '@' + server;
    for (char& c : readable)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '@' && c != '-' &&
            c != '_')
            c = '_';
    // The digest keeps apart names that the replacement made equal.
    return "Judged " + std::string(1, typeLetter) + ' ' + readable + ' ' +
           TextDigest(JudgedAccountKey(typeLetter, server, user)).substr(0, 8) + ".txt";
}

JudgedMemory ReadJudgedMemory(const std::string& path, const std::string& account) {
    JudgedMemory memory;
    memory.Account = account;
    std::string text;
    if (ReadWholeFile(path, text) != ReadResult::Ok)
        return memory;
    std::istringstream in(text);
    std::string head, accountLine, validityLine;
    if (!std::getline(in, head) || head != kHead || !std::getline(in, accountLine) ||
        accountLine != "account " + account || !std::getline(in, validityLine) ||
        !validityLine.starts_with("validity "))
        return memory;
    memory.Validity = validityLine.substr(9);
    std::unordered_set<std::string> seen;
    for (std::string line; std::getline(in, line);) {
        JudgedMessage m;
        if (ParseMessageLine(line, m) && seen.insert(m.Id).second)
            memory.Kept.push_back(std::move(m));
    }
    return memory;
}

bool WriteJudgedMemory(const std::string& path, const JudgedMemory& memory) {
    std::string text = std::string(kHead) + '\n' + "account " + Field(memory.Account) + '\n' +
                       "validity " + Field(memory.Validity) + '\n';
    for (const JudgedMessage& m : memory.Kept) {
        const std::string fields = MessageFields(m);
        text += fields + '\t' + TextDigest(fields) + '\n';
    }
    return ReplaceFileAtomically(path, text);
}

bool HasDuplicateIds(const std::vector<std::string>& ids) {
    std::unordered_set<std::string> seen;
    for (const std::string& id : ids)
        if (!seen.insert(id).second)
            return true;
    return false;
}

JudgedPlan PlanJudging(const JudgedMemory& memory, const std::string& validity,
                       const std::vector<std::string>& serverIds) {
    std::unordered_map<std::string, const JudgedMessage*> kept;
    if (memory.Validity == validity)
        for (const JudgedMessage& m : memory.Kept)
            kept.emplace(m.Id, &m);
    JudgedPlan plan;
    for (size_t i = 0; i < serverIds.size(); ++i) {
        auto found = kept.find(serverIds[i]);
        if (found == kept.end()) {
            plan.New.push_back(i);
        } else {
            plan.RememberedAt.push_back(i);
            plan.Remembered.push_back(*found->second);
        }
    }
    return plan;
}
