// The mail decoder: encodings, charsets, HTML, the MIME tree and its caps,
// on messages as senders write them and as attackers break them.
#include "filter/mail_decoder.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <thread>
#include <tuple>
#include <vector>

namespace {

// Checked by the C library's converter, not by the decoder's own code.
bool IsUtf8(std::string text) {
    iconv_t check = iconv_open("UTF-8", "UTF-8");
    std::string out(text.size() + 4, '\0');
    char *in = text.data(), *to = out.data();
    size_t inLeft = text.size(), outLeft = out.size();
    const bool ok = iconv(check, &in, &inLeft, &to, &outLeft) != static_cast<size_t>(-1);
    iconv_close(check);
    return ok && inLeft == 0;
}

std::string Part(const std::string& type, const std::string& extra, const std::string& body) {
    return "Content-Type: " + type + "\r\n" + extra + "\r\n" + body + "\r\n";
}

std::string Mail(const std::string& part) {
    return "From: Ann <ann@mail.example>\r\nSubject: s\r\nMIME-Version: 1.0\r\n" + part;
}

std::string Multipart(const std::string& type, const std::string& boundary,
                      const std::vector<std::string>& parts) {
    std::string text =
        "Content-Type: multipart/" + type + "; boundary=\"" + boundary + "\"\r\n\r\n";
    for (const std::string& part : parts)
        text += "--" + boundary + "\r\n" + part;
    return text + "--" + boundary + "--\r\n";
}

TEST(MailDecoder, BodiesDecodedAndConvertedToUtf8) {
    const std::string b64 = "Content-Transfer-Encoding: base64\r\n";
    const std::string qp = "Content-Transfer-Encoding: quoted-printable\r\n";
    const std::tuple<const char*, std::string, std::string> cases[] = {
        // name, part, text
        {"Base64", Part("text/plain; charset=utf-8", b64, "SGVsbG8gV8O2cmxk\r\nIQ=="),
         "Hello W\xC3\xB6rld!"},
        {"QuotedPrintableSoftBreak",
         Part("text/plain; charset=utf-8", qp, "caf=C3=A9 cr=\r\neme 1 = 2=3d2 end=  \r\n"),
         "caf\xC3\xA9 creme 1 = 2=2 end"},
        {"Latin1", Part("text/plain; charset=ISO-8859-1", qp, "na=EFve"), "na\xC3\xAFve"},
        // 0xA4 is the euro sign here and the currency sign in Latin-1.
        {"Latin9ThroughIconv", Part("text/plain; charset=iso-8859-15", "", "10 \xA4"),
         "10 \xE2\x82\xAC"},
        {"UnknownCharsetValidUtf8Kept",
         Part("text/plain; charset=x-klingon", "", "\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9"},
        {"UnknownCharsetTakenForWindows1252",
         Part("text/plain; charset=x-klingon", "", "\x93ok\x94"), "\xE2\x80\x9Cok\xE2\x80\x9D"},
        {"InvalidUtf8Replaced",
         Part("text/plain; charset=utf-8", "",
              "a\xFF"
              "b"),
         "a\xEF\xBF\xBD"
         "b"},
        {"CrLfBecomesLf", Part("text/plain", "", "one\r\ntwo\r\n\r\n"), "one\ntwo"},
    };
    for (const auto& [name, part, text] : cases) {
        const DecodedMail mail = DecodeMail(Mail(part));
        EXPECT_TRUE(mail.Parsed) << name;
        EXPECT_EQ(mail.Text, text) << name;
    }
    // Broken base64: whatever survives, nothing crashes and the text is UTF-8.
    const DecodedMail broken =
        DecodeMail(Mail(Part("text/plain", b64, "SGVsb*G8=!!\xFF\r\nV2=9y==bGQ")));
    EXPECT_TRUE(broken.Parsed);
    EXPECT_TRUE(IsUtf8(broken.Text));
}

// No header at all: no message, no fields.
TEST(MailDecoder, HeaderFieldsDecoded) {
    for (const std::string& text : {std::string(), std::string("no header here\r\nat all\r\n")}) {
        const DecodedMail mail = DecodeMail(text);
        EXPECT_FALSE(mail.Parsed);
        EXPECT_EQ(mail.From + mail.FromAddress + mail.Subject + mail.Text, "");
    }
    const DecodedMail mail = DecodeMail(
        "From: =?ISO-8859-1?Q?J=F6rg_M=FCller?= <Joerg@Mail.EXAMPLE>\r\n"
        "Subject: =?UTF-8?B?SGVsbG8=?= =?UTF-8?Q?_W=C3=B6rld?=  and\r\n\t  more\r\n\r\nx\r\n");
    EXPECT_EQ(mail.From, "J\xC3\xB6rg M\xC3\xBCller <Joerg@Mail.EXAMPLE>");
    EXPECT_EQ(mail.FromAddress, "Joerg@mail.example");
    // Adjacent encoded words join without the blank between them.
    EXPECT_EQ(mail.Subject, "Hello W\xC3\xB6rld and more");

    EXPECT_EQ(DecodeMail("From: undisclosed-recipients:;\r\n\r\nx").FromAddress, "");
    EXPECT_EQ(DecodeMail("From: Team: bob@team.example;\r\n\r\nx").FromAddress, "bob@team.example");

    EXPECT_EQ(DecodeHeaderText("=?utf-8?q?a=5Fb?= c"), "a_b c");
    EXPECT_EQ(DecodeHeaderText("caf\xE9"), "caf\xC3\xA9");
    EXPECT_TRUE(IsUtf8(DecodeHeaderText("=?x-unknown?B?/w==?= \xFF")));
}

TEST(MailDecoder, HtmlReducedToItsText) {
    const std::string html =
        "<html><head><title>T</title><style>p{color:red}</style></head><body>"
        "<script type=\"text/javascript\">if (a < b) alert('x');</script>"
        "<p>Fish &amp; chips &lt;b&gt; &#233;&#xE9; &euro;5&nbsp;&nbsp;now</p>"
        "<div>V<b>ia</b>g&shy;ra <!-- hidden <p> --><a href=\"x?a=1>2\">link</a></div>"
        "a &notanentity; &amp b<br>x < y<table><tr><td>c1</td><td>c2</td></tr></table>"
        "</body></html>";
    const DecodedMail mail = DecodeMail(Mail(Part("text/html; charset=utf-8", "", html)));
    EXPECT_EQ(mail.Text, "Fish & chips <b> \xC3\xA9\xC3\xA9 \xE2\x82\xAC"
                         "5 now\nViagra link\n"
                         "a &notanentity; & b\nx < y\nc1 c2");

    // A head never closed hides nothing; a script never closed hides the rest.
    EXPECT_EQ(DecodeMail(Mail(Part("text/html", "", "<head><b>seen</b> <head>too"))).Text,
              "seen too");
    EXPECT_EQ(DecodeMail(Mail(Part("text/html", "", "shown<script>hidden"))).Text, "shown");
    EXPECT_EQ(DecodeMail(Mail(Part("text/html", "", "<head>x</head><body>&#0;&#x110000;"))).Text,
              "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(MailDecoder, TreeWalkedInOrderSkippingAttachments) {
    const std::string inner =
        "From: b@c.example\r\nSubject: inner\r\n" + Part("text/plain", "", "forwarded text");
    const std::string alternative =
        Multipart("alternative", "alt",
                  {Part("text/plain", "", "plain form"), Part("text/html", "", "<p>html form")});
    const std::string mail = Mail(
        Multipart("mixed", "mix",
                  {alternative,
                   Part("text/plain", "Content-Disposition: attachment; filename=\"notes.txt\"\r\n",
                        "attached text"),
                   Part("image/png", "Content-Transfer-Encoding: base64\r\n", "iVBORw0KGgo="),
                   Part("message/rfc822", "", inner)}));
    const DecodedMail decoded = DecodeMail(mail);
    EXPECT_EQ(decoded.Text, "plain form\nhtml form\nforwarded text");
    EXPECT_EQ(decoded.Subject, "s");
}

TEST(MailDecoder, HostileShapesFinishWithinTheCaps) {
    // 1000 levels of multipart: the shallow text is read, the deeper ones
    // are beyond the depth cap.
    std::string deep = "From: a@b.example\r\n";
    for (int i = 0; i < 1000; ++i) {
        const std::string b = "b" + std::to_string(i);
        deep += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n--" + b + "\r\n";
        if (i == 2 || i == 40) // GMime itself gives up much deeper
            deep += Part("text/plain", "", i == 2 ? "shallow" : "too deep") + "--" + b + "\r\n";
    }
    deep += Part("text/plain", "", "deepest");
    const DecodedMail nested = DecodeMail(deep);
    EXPECT_TRUE(nested.Parsed);
    EXPECT_EQ(nested.Text, "shallow");

    // Many parts: only the first ones are read.
    std::vector<std::string> parts(5000, Part("text/plain", "", "p"));
    const DecodedMail many = DecodeMail(Mail(Multipart("mixed", "m", parts)));
    EXPECT_GT(many.Text.size(), 100u);
    EXPECT_LT(many.Text.size(), 2 * 256u);

    // A huge Latin-1 body: cut at the cap, on a character boundary.
    const DecodedMail big = DecodeMail(
        Mail(Part("text/plain; charset=latin1", "", std::string(kMaxDecodedText, '\xE9'))));
    EXPECT_EQ(big.Text.size(), kMaxDecodedText);
    EXPECT_TRUE(IsUtf8(big.Text));
    const DecodedMail bigHtml = DecodeMail(
        Mail(Part("text/html", "", std::string(kMaxDecodedText, 'x') + "&#x20AC;<p>more")));
    EXPECT_EQ(bigHtml.Text.size(), kMaxDecodedText);

    // A 10 MB subject, on one line and folded, and 10 MB of a part's
    // header: every field is cut to its cap.
    std::string folded = "X";
    while (folded.size() < (size_t{10} << 20))
        folded += "\r\n " + std::string(70, 'a');
    for (const std::string& subject : {std::string(10 << 20, 'a'), folded}) {
        const DecodedMail longSubject = DecodeMail("Subject: " + subject + "\r\n\r\nbody\r\n");
        EXPECT_GT(longSubject.Subject.size(), kMaxHeaderField / 2);
        EXPECT_LE(longSubject.Subject.size(), kMaxHeaderField);
        EXPECT_EQ(longSubject.Text, "body");
    }
    const DecodedMail longPartHeader = DecodeMail(
        Mail(Multipart("mixed", "m", {Part("text/plain", "X-Long: " + folded + "\r\n", "after")})));
    EXPECT_EQ(longPartHeader.Text, "after");
    EXPECT_LE(DecodeHeaderText(folded).size(), kMaxHeaderField);
    // Cut between characters: the rest is still read as UTF-8.
    std::string accents;
    while (accents.size() < kMaxHeaderField + 7)
        accents += "\xC3\xA9";
    accents.insert(0, "x");
    EXPECT_EQ(DecodeHeaderText(accents), accents.substr(0, kMaxHeaderField - 1));
    EXPECT_EQ(DecodeMail("Subject: y" + accents + "\r\n\r\n").Subject,
              "y" + accents.substr(0, kMaxHeaderField - 11));
}

TEST(MailDecoder, ConcurrentDecodesAgree) {
    std::vector<std::string> mails;
    for (int i = 0; i < 4; ++i)
        mails.push_back(Mail(Multipart(
            "alternative", "a" + std::to_string(i),
            {Part("text/plain; charset=iso-8859-15", "", "t" + std::to_string(i) + " \xA4"),
             Part("text/html", "Content-Transfer-Encoding: base64\r\n", "PHA+aHRtbDwvcD4=")})));
    std::vector<std::string> expected;
    for (const std::string& mail : mails)
        expected.push_back(DecodeMail(mail).Text);
    std::vector<int> mismatches(mails.size(), 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < mails.size(); ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round)
                mismatches[t] += DecodeMail(mails[t]).Text != expected[t];
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(expected[1], "t1 \xE2\x82\xAC\nhtml");
    EXPECT_EQ(mismatches, std::vector<int>(mails.size(), 0));
}

TEST(MailDecoder, FetchedTextAndFirstLines) {
    EXPECT_EQ(MessageOfFetchedText("+OK 12 octets\r\nFrom: a\r\n"), "From: a\r\n");
    EXPECT_EQ(MessageOfFetchedText("no line feed"), "");
    // The reply's own end is not the message's: POP3's dot line, IMAP's close.
    EXPECT_EQ(MessageOfFetchedText("+OK\r\nFrom: a\r\n\r\nbody\r\n.\r\n"),
              "From: a\r\n\r\nbody\r\n");
    EXPECT_EQ(MessageOfFetchedText("* 1 FETCH (UID 7 BODY[] {9}\r\nFrom: a\r\n)\r\n"),
              "From: a\r\n");
    EXPECT_EQ(MessageOfFetchedText("* 1 FETCH (BODY[] {99}\r\nFrom: a\r\n)"), "From: a\r\n)");

    const std::string text = "\n  first line \r\n\t\n second\nthird\nfourth";
    EXPECT_EQ(FirstLinesOf(text, 2, 100), "first line\nsecond");
    EXPECT_EQ(FirstLinesOf(text, 9, 100), "first line\nsecond\nthird\nfourth");
    EXPECT_EQ(FirstLinesOf(text, 0, 100), "");
    EXPECT_EQ(FirstLinesOf(text, 3, 8), "first li");
    EXPECT_EQ(FirstLinesOf("\xC3\xA9\xC3\xA9", 1, 3), "\xC3\xA9"); // never half a character
}

} // namespace
