#include "ui/level_descriptions.h"

#include <array>

namespace {
// Per level (index = node value - 11: Very High, High, Normal, Low, Very Low):
// what the filter of that level does, in the words the description uses.
struct LevelFacts {
    const char* Heading;
    const char* FriendThreshold;
    const char* OtherThreshold; // none for Very High: others are not allowed at all
    bool FriendSizeChecked;
    bool OtherSizeChecked;
    bool FriendUsesFilterList;
    bool OtherUsesFilterList;
    int RepeatedMails;
};

constexpr const char* kThreshold20 =
    "A threshold of 20% is used. Mails with spam words that exceeds 20% of the total mail body ";
constexpr const char* kThreshold30 =
    "A threshold of 30% is used. Mails with spam words that exceeds 30% of the total mail body ";
constexpr const char* kThreshold40 =
    "A threshold of 40% is used. Mails with spam words that exceeds 40% of the total mail body ";
constexpr const char* kThreshold50 =
    "A threshold of 50% is used. Mails with spam words that exceeds 50% of the total mail body ";
constexpr const char* kThreshold60 =
    "A threshold of 60% is used. Mails with spam words that exceeds 60% of the total mail body ";
constexpr const char* kThreshold75 =
    "A threshold of 75% is used. Mails with spam words that exceeds 75% of the total mail body ";
constexpr const char* kThreshold80 =
    "A threshold of 80% is used. Mails with spam words that exceeds 80% of the total mail body ";
constexpr const char* kThreshold90 =
    "A threshold of 90% is used. Mails with spam words that exceeds 90% of the total mail body ";
constexpr const char* kThreshold100 =
    "A threshold of 100% is used. Mails with spam words that exceeds 100% of the total mail body ";

constexpr std::array<LevelFacts, 5> kLevels = {{
    {"Very High:\r\n", kThreshold20, nullptr, true, false, true, false, 1},
    {"High:\r\n", kThreshold40, kThreshold30, false, true, false, true, 1},
    {"Normal:\r\n", kThreshold60, kThreshold50, false, true, false, false, 1},
    {"Low:\r\n", kThreshold80, kThreshold75, false, false, false, false, 1},
    {"Very Low:\r\n", kThreshold100, kThreshold90, false, false, false, false, 2},
}};

constexpr const char* kWillBeDeleted = "will be deleted.\r\n";
constexpr const char* kSizeChecked =
    "Mails with size greater than the max allowed size will be deleted.\r\n";
constexpr const char* kNoCheck = "No Check.\r\n";
constexpr const char* kFilterListAttachments = "Any mail that contains one or more attachment of "
                                               "type that is in the filter list the mail will be "
                                               "deleted.\r\n";
constexpr const char* kProgramAttachments = "Any mail that contains one or more attachment of type "
                                            "(scr) or (exe) only will be deleted.\r\n";
constexpr const char* kNotAllowed = "Not allowed at all.\r\n";

std::string RepeatedMailsText(int count) {
    return count == 2 ? "Max number of mail from the same user with the same subject is 2.\r\n"
                      : "Max number of mail from the same user with the same subject is 1.\r\n";
}

std::string LevelText(const LevelFacts& level) {
    std::string text = level.Heading;
    text += "(1) Users in the friend list.\r\n";
    text += "(1.1) Spam words: \r\n";
    text += level.FriendThreshold;
    text += kWillBeDeleted;
    text += "(1.2) Mail Size: \r\n";
    text += level.FriendSizeChecked ? kSizeChecked : kNoCheck;
    text += "(1.3) Attachments: \r\n";
    text += level.FriendUsesFilterList ? kFilterListAttachments : kProgramAttachments;
    text += "(1.4) Number of repeated mails: \r\n";
    text += RepeatedMailsText(level.RepeatedMails);
    text += "(2) Users in the blocked list.\r\n";
    text += kNotAllowed;
    text += "(3) Others.\r\n";
    if (!level.OtherThreshold)
        return text + kNotAllowed;
    text += "(3.1) Spam words: \r\n";
    text += level.OtherThreshold;
    text += kWillBeDeleted;
    text += "(3.2) Mail Size: \r\n";
    text += level.OtherSizeChecked ? kSizeChecked : kNoCheck;
    text += "(3.3) Attachments: \r\n";
    text += level.OtherUsesFilterList ? kFilterListAttachments : kProgramAttachments;
    text += "(3.4) Number of repeated mails: \r\n";
    text += RepeatedMailsText(level.RepeatedMails);
    return text;
}
} // namespace

std::optional<DescriptionText> DescriptionForNode(int nodeValue) {
    switch (nodeValue) {
    case 0:
        return DescriptionText{
            16001, std::string("In this entry you can control the mail spam settings.") +
                       " Here you can add new e-mail account, view, change or delete an existing "
                       "e-mail account." +
                       " please choose one of the sub entries."};
    case 9:
        return DescriptionText{
            16002, std::string("Here you can choose among different levels of security.") +
                       " Choosing higher level putting you in the safe side against spam mails."};
    case 10:
        return DescriptionText{16003, "Under this entry you will find 5 levels of security, "
                                      "choose one of them and then click set level."};
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
        return DescriptionText{16004 + (nodeValue - 11), LevelText(kLevels[nodeValue - 11])};
    case 16:
        return DescriptionText{16009, "Here you have two entries one for friends list & the "
                                      "other for the blocked list."};
    default:
        return std::nullopt;
    }
}
