// CMailMessage: the cutting rules, quirks included, on realistic fetched texts.
#include "filter/mail_message.h"
#include "filter_fixture.h"

#include <gtest/gtest.h>
#include <optional>

namespace {
using namespace filter_test;

struct ParseCase {
    const char* Name;
    std::string Raw;
    std::string Fields; // sender|domain|subject|date|size|attachment types
    std::optional<std::string> Body = std::nullopt; // checked when set
};

std::string Ann(int size, const std::string& types = "") {
    return "ann@mail.example|mail.example|Minutes of the meeting|Tue, 09 Sep 2003|" +
           std::to_string(size) + "|" + types;
}

std::vector<ParseCase> Cases() {
    return {
        {"QuotedDisplayName", Pop3({.From = "\"Ann Lee\" <ann@mail.example>"}, 2345), Ann(2345),
         "Message-ID: <20030909120211.1234@mail.example>\r\nMIME-Version: 1.0\r\nContent-Type: "
         "text/plain\r\n\r\nPlease find the minutes below.\r\n.\r\n"},
        {"UnquotedDisplayNameStays", Pop3({.From = "Ann Lee <ann@mail.example>"}, 7),
         "Ann Lee " + Ann(7)},
        {"FirstFromInsideAnotherHeader",
         "+OK 99 octets\r\nX-From-Host: relay.example\r\nFrom: ann@mail.example\r\nSubject: "
         "s\r\n",
         "ost: relay.example|ost: relay.example|s||99|"},
        // The subject is searched behind "From"; a date is its first 16
        // characters; a value without line end takes the rest.
        {"SubjectBehindFromDateAndLastValue",
         "+OK 5 octets\r\nSubject: early\r\nDate: 1 Sep 2003 10:00:00 +0000\r\nFrom: "
         "a@b.example\r\nX-Original-Subject: late",
         "a@b.example|b.example|late|1 Sep 2003 10:00|5|"},
        {"NoFromNoSubject", "+OK 5 octets\r\nSubject: lost\r\nDate: Mon, 01 Sep 2003\r\n",
         "|||Mon, 01 Sep 2003|5|"},
        // The size is read from the fifth character on: an IMAP reply's tail.
        {"ImapNumberGivesItsTail", ImapText(MessageText({}), 12345), Ann(345)},
        {"OutlookBoundaryQuotedNames",
         Pop3({.Body = "hello", .Attachments = {{"a.exe"}, {"b.zip"}, {"page.html"}}}, 30000),
         Ann(30000, "exeziptml"),
         "=_NextPart_000_0007_01C37E2B.5A2D1B40\r\nContent-Type: "
         "text/plain\r\n\r\nhello\r\n------"},
        {"UnquotedNamesLoseTheirLastTwoCharacters",
         Pop3({.Attachments = {{"setup.exe", false}, {"A.EXE"}}, .Boundary = "----=_Part_1"}, 10),
         Ann(10, ".exEXE")},
        // No "=" in the boundary value: the marker starts at the next "="
        // anywhere (here: "filename=") and ends at the quote behind it.
        {"BoundaryWithoutEqualsAppliedAsStated",
         Pop3({.Attachments = {{"a.exe"}, {"b.exe"}, {"c.exe"}}, .Boundary = "b1_5f3c"}, 10),
         Ann(10, "exeexeexe"),
         "=\"b.exe\"\r\nContent-Transfer-Encoding: base64\r\n\r\nTVqQAAMAAAAEAAAA//8AALgA\r\n--"
         "b1_5f3c\r\nContent-Type: application/octet-stream\r\nContent-Disposition: "
         "attachment;\r\n\tfilename"},
        {"MarkerThatNeverRecursGivesEmptyBody",
         "+OK 3 octets\r\nFrom: a@b\r\nContent-Type: multipart/mixed; "
         "boundary=\"--=_once\"\r\n\r\n--=_one\r\nfilename=\"x.scr\"\r\n",
         "a@b|b|||3|scr", ""},
        {"NoMultipartNoAttachmentsNoMessageIdWholeBody",
         "+OK 3 octets\r\nFrom: a@b\r\nContent-Disposition: attachment; "
         "filename=\"x.exe\"\r\n\r\nhi",
         "a@b|b|||3|",
         "3 octets\r\nFrom: a@b\r\nContent-Disposition: attachment; filename=\"x.exe\"\r\n\r\nhi"},
        {"ShorterThanFourCharacters", "+OK", "||||0|", ""},
    };
}

class MailMessageParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(MailMessageParse, CutsTheFields) {
    const ParseCase& c = GetParam();
    CMailMessage m, fresh; // one record serves a batch: nothing of the last text may remain
    m.SetRawText(Pop3({.Attachments = {{"a.exe"}}}));
    m.ParseHeaders();
    for (CMailMessage* record : {&m, &fresh}) {
        record->SetRawText(c.Raw);
        record->ParseHeaders();
    }
    const std::string size = std::to_string(m.GetSize());
    EXPECT_EQ(m.GetSender() + "|" + m.GetSenderDomain() + "|" + m.GetSubject() + "|" + m.GetDate() +
                  "|" + size + "|" + m.GetAttachmentTypes(),
              c.Fields);
    if (c.Body) {
        EXPECT_EQ(m.GetBodyText(), *c.Body);
    }
    const std::string head = m.GetSender() + m.GetSubject() + size + m.GetDate() + "\n";
    EXPECT_EQ(m.GetMessageKey().substr(0, head.size()), head);
    EXPECT_EQ(m.GetMessageKey(), fresh.GetMessageKey());
}

INSTANTIATE_TEST_SUITE_P(Texts, MailMessageParse, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.Name); });
} // namespace
