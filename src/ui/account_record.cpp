#include "ui/account_record.h"

#include "platform/text_file.h"

namespace {
// The text up to the next "|" (or the end), moving `start` past that "|".
std::string NextField(const std::string& line, size_t& start) {
    if (start > line.size())
        return {};
    size_t bar = line.find('|', start);
    std::string field =
        line.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    start = bar == std::string::npos ? line.size() + 1 : bar + 1;
    return field;
}
} // namespace

bool ReadAccountRecordAt(const std::string& path, int64_t offset, AccountRecord& record) {
    CTextFile file;
    std::string line;
    if (offset < 0 || !file.Open(path, CTextFile::Mode::Read) || !file.Seek(offset) ||
        !file.ReadLine(line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.compare(0, 3, "-->") == 0)
        return false;
    record.Pop3 = !line.empty() && line[0] == 'P';
    size_t start = 2;
    record.AccountName = NextField(line, start);
    record.ServerName = NextField(line, start);
    record.UserName = NextField(line, start);
    record.Password = start <= line.size() ? line.substr(start) : std::string();
    return true;
}
