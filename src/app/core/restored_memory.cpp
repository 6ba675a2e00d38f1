#include "app/core/restored_memory.h"

#include "app/core/filter_app.h"
#include "filter/message_preparer.h"
#include "platform/digest.h"
#include "store/judged_memory.h"
#include "store/recycle_bin.h"

#include <cstdio>

bool RememberRestoredMail(CFilterApp& app, const std::string& server, const std::string& user,
                          const std::string& appendResult, const BinnedMessage& copy) {
    unsigned long validity = 0, uid = 0;
    char end = 0;
    if (!app.JudgeOnce.load() ||
        std::sscanf(appendResult.c_str(), "[APPENDUID %lu %lu%c", &validity, &uid, &end) != 3 ||
        end != ']' || validity == 0 || uid == 0 || uid > 0xffffffffu)
        return false;
    const std::string path = app.DataFilePath(JudgedMemoryFileName('I', server, user));
    const std::string account = JudgedAccountKey('I', server, user);
    JudgedMemory memory = ReadJudgedMemory(path, account);
    // Another validity makes every UID of the old memory meaningless.
    if (memory.Validity != std::to_string(validity))
        memory = {account, std::to_string(validity), {}};
    memory.Kept.push_back({std::to_string(uid), copy.Date,
                           TextDigest(PrepareMessage(copy.Text, nullptr).Key), copy.From,
                           copy.Subject});
    return WriteJudgedMemory(path, memory);
}
