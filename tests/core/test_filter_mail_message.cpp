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
    std::string Sender, Domain, Subject, Date;
    int Size;
    std::string Types;
    std::optional<std::string> Body; // checked when set
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.Name;
}

Mail WithFrom(std::string from) {
    Mail m;
    m.From = std::move(from);
    return m;
}

Mail Multipart(std::vector<Attachment> attachments, std::string boundary) {
    Mail m;
    m.Body = "hello";
    m.Attachments = std::move(attachments);
    m.Boundary = std::move(boundary);
    return m;
}

const std::string kPlainBody = "Message-ID: <20030909120211.1234@mail.example>\r\nMIME-Version: "
                               "1.0\r\nContent-Type: text/plain\r\n\r\nPlease find the minutes "
                               "below.\r\n.\r\n";

std::vector<ParseCase> Cases() {
    const std::string tue = "Tue, 09 Sep 2003";
    return {
        {"QuotedDisplayName", Pop3(WithFrom("\"Ann Lee\" <ann@mail.example>"), 2345),
         "ann@mail.example", "mail.example", "Minutes of the meeting", tue, 2345, "", kPlainBody},
        {"BareAddress", Pop3(WithFrom("ann@mail.example"), 7), "ann@mail.example", "mail.example",
         "Minutes of the meeting", tue, 7, "", std::nullopt},
        {"UnquotedDisplayNameStays", Pop3(WithFrom("Ann Lee <ann@mail.example>"), 7),
         "Ann Lee ann@mail.example", "mail.example", "Minutes of the meeting", tue, 7, "",
         std::nullopt},
        {"NoAtGivesWholeSenderAsDomain", Pop3(WithFrom("postmaster"), 7), "postmaster",
         "postmaster", "Minutes of the meeting", tue, 7, "", std::nullopt},
        {"FirstFromInsideAnotherHeader",
         "+OK 99 octets\r\nX-From-Host: relay.example\r\nFrom: ann@mail.example\r\nSubject: "
         "s\r\n",
         "ost: relay.example", "ost: relay.example", "s", "", 99, "", std::nullopt},
        {"SubjectBeforeFromIsNotSeen",
         "+OK 5 octets\r\nSubject: early\r\nFrom: a@b.example\r\nX-Original-Subject: late\r\n",
         "a@b.example", "b.example", "late", "", 5, "", std::nullopt},
        {"NoFromNoSubject", "+OK 5 octets\r\nSubject: lost\r\nDate: Mon, 01 Sep 2003\r\n", "", "",
         "", "Mon, 01 Sep 2003", 5, "", std::nullopt},
        {"DateIsSixteenCharactersWhateverTheyAre",
         "+OK 5 octets\r\nDate: 1 Sep 2003 10:00:00 +0000\r\nFrom: a@b\r\n", "a@b", "b", "",
         "1 Sep 2003 10:00", 5, "", std::nullopt},
        {"ValuesWithoutLineEndTakeTheRest", "+OK 1 octets\r\nFrom: a@b\r\nSubject: tail", "a@b",
         "b", "tail", "", 1, "", std::nullopt},
        {"ImapNumberUpTo99GivesZero", ImapText(MessageText(Mail{}), 42), "ann@mail.example",
         "mail.example", "Minutes of the meeting", tue, 0, "", std::nullopt},
        {"ImapLargeNumberGivesItsTail", ImapText(MessageText(Mail{}), 12345), "ann@mail.example",
         "mail.example", "Minutes of the meeting", tue, 345, "", std::nullopt},
        {"OutlookBoundaryQuotedNames",
         Pop3(Multipart({{"a.exe"}, {"b.zip"}, {"page.html"}},
                        "----=_NextPart_000_0007_01C37E2B.5A2D1B40"),
              30000),
         "ann@mail.example", "mail.example", "Minutes of the meeting", tue, 30000, "exeziptml",
         "=_NextPart_000_0007_01C37E2B.5A2D1B40\r\nContent-Type: text/plain\r\n\r\nhello\r\n--"
         "----"},
        {"UnquotedNamesLoseTheirLastTwoCharacters",
         Pop3(Multipart({{"setup.exe", false}, {"A.EXE"}}, "----=_Part_1"), 10), "ann@mail.example",
         "mail.example", "Minutes of the meeting", tue, 10, ".exEXE", std::nullopt},
        // No "=" in the boundary value: the marker starts at the next "="
        // anywhere (here: "filename=") and ends at the quote behind it.
        {"BoundaryWithoutEqualsAppliedAsStated",
         Pop3(Multipart({{"a.exe"}, {"b.exe"}, {"c.exe"}}, "b1_5f3c"), 10), "ann@mail.example",
         "mail.example", "Minutes of the meeting", tue, 10, "exeexeexe",
         "=\"b.exe\"\r\nContent-Transfer-Encoding: base64\r\n\r\nTVqQAAMAAAAEAAAA//8AALgA\r\n--"
         "b1_5f3c\r\nContent-Type: application/octet-stream\r\nContent-Disposition: "
         "attachment;\r\n\tfilename"},
        {"MarkerThatNeverRecursGivesEmptyBody",
         "+OK 3 octets\r\nFrom: a@b\r\nContent-Type: multipart/mixed; "
         "boundary=\"--=_once\"\r\n\r\n--=_one\r\nfilename=\"x.scr\"\r\n",
         "a@b", "b", "", "", 3, "scr", ""},
        {"AttachmentsOutsideMultipartAreNotSeen",
         "+OK 3 octets\r\nFrom: a@b\r\nContent-Disposition: attachment; filename=\"x.exe\"\r\n",
         "a@b", "b", "", "", 3, "", std::nullopt},
        {"NoMessageIdBodyIsWholeText", "+OK 3 octets\r\nFrom: a@b\r\n\r\nhi", "a@b", "b", "", "", 3,
         "", "3 octets\r\nFrom: a@b\r\n\r\nhi"},
        {"ShorterThanFourCharacters", "+OK", "", "", "", "", 0, "", ""},
        {"NoDigitsGiveSizeZero", "+OK octets follow\r\nFrom: a@b\r\n", "a@b", "b", "", "", 0, "",
         std::nullopt},
    };
}

class MailMessageParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(MailMessageParse, CutsTheFields) {
    const ParseCase& c = GetParam();
    CMailMessage m;
    m.SetRawText(c.Raw);
    m.ParseHeaders();
    EXPECT_EQ(m.GetSender(), c.Sender);
    EXPECT_EQ(m.GetSenderDomain(), c.Domain);
    EXPECT_EQ(m.GetSubject(), c.Subject);
    EXPECT_EQ(m.GetDate(), c.Date);
    EXPECT_EQ(m.GetSize(), c.Size);
    EXPECT_EQ(m.GetAttachmentTypes(), c.Types);
    if (c.Body) {
        EXPECT_EQ(m.GetBodyText(), *c.Body);
    }
    EXPECT_EQ(m.GetMessageKey(), c.Sender + c.Subject + std::to_string(c.Size) + c.Date);
}

INSTANTIATE_TEST_SUITE_P(Texts, MailMessageParse, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(MailMessage, OneRecordServesABatchWithoutLeaks) {
    CMailMessage m;
    const std::string multipart = Pop3(Multipart({{"a.exe"}}, "----=_Part_9"));
    m.SetRawText(multipart);
    m.ParseHeaders();
    const std::string firstKey = m.GetMessageKey();
    ASSERT_EQ(m.GetAttachmentTypes(), "exe");

    m.SetRawText("+OK 1 octets\r\nSubject: none\r\n");
    m.ParseHeaders();
    EXPECT_EQ(m.GetAttachmentTypes(), "");
    EXPECT_EQ(m.GetSender(), "");
    EXPECT_EQ(m.GetDate(), "");

    m.SetRawText(multipart);
    m.ParseHeaders();
    EXPECT_EQ(m.GetMessageKey(), firstKey);
}
} // namespace
