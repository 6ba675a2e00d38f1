// Training folders: every message of a folder, a Maildir or an mbox handed
// over once, as stored, and a path that is no folder said so.
#include "store/mail_folder.h"
#include "temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {
std::vector<std::string> All(const std::string& path, long* skipped = nullptr) {
    std::vector<std::string> messages;
    const long handed = ForEachMailAt(
        path,
        [&](std::string message) {
            messages.push_back(std::move(message));
            return true;
        },
        nullptr, skipped);
    EXPECT_EQ(handed, static_cast<long>(messages.size()));
    EXPECT_EQ(CountMailsAt(path), handed);
    return messages;
}

TEST(MailFolder, EmlFilesAndMaildirs) {
    CTempDir dir;
    dir.Write("a.eml", "Subject: a\n\nA\n");
    dir.Write("sub/B.EML", "Subject: b\n\nB\n");
    dir.Write("notes.txt", "not mail");
    dir.Write("box/cur/1.host:2,S", "Subject: c\n\nC\n");
    dir.Write("box/new/2.host", "Subject: d\n\nD\n");
    dir.Write("box/tmp/3.host", "half written");
    dir.Write("box/.Sent/cur/4.host:2,", "Subject: e\n\nE\n");
    std::filesystem::create_directory_symlink(dir.Path(), dir.File("sub/loop"));
    long skipped = -1;
    EXPECT_EQ(
        All(dir.Path(), &skipped),
        (std::vector<std::string>{"Subject: a\n\nA\n", "Subject: e\n\nE\n", "Subject: c\n\nC\n",
                                  "Subject: d\n\nD\n", "Subject: b\n\nB\n"}));
    EXPECT_EQ(skipped, 0);
    EXPECT_EQ(All(dir.File("box")).size(), 3u);
    EXPECT_EQ(All(dir.File("notes.txt")), std::vector<std::string>{"not mail"}); // named: taken

    std::vector<std::string> first;
    EXPECT_EQ(ForEachMailAt(dir.Path(),
                            [&](std::string m) {
                                first.push_back(m);
                                return false;
                            }),
              1);
    EXPECT_EQ(first.size(), 1u);
}

TEST(MailFolder, MboxSeparatorsAndQuoting) {
    CTempDir dir;
    dir.Write("Inbox", "From a@x Thu Sep 18 10:00:00 2003\nSubject: one\n\n"
                       ">From here on\n>>From deeper\nFrom inside a paragraph\n\n"
                       "From b@y Thu Sep 18 11:00:00 2003\r\nSubject: two\r\n\r\nbody\r\n\r\n"
                       "From c@z Thu Sep 18 12:00:00 2003\nSubject: three\n\nno end");
    const auto messages = All(dir.File("Inbox"));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "Subject: one\n\nFrom here on\n>From deeper\nFrom inside a paragraph\n");
    EXPECT_EQ(messages[1], "Subject: two\r\n\r\nbody\r\n");
    EXPECT_EQ(messages[2], "Subject: three\n\nno end");
    EXPECT_EQ(All(dir.Path()).size(), 3u); // found in a folder by its first line

    std::string big = "From a@x\n" + std::string(kMaxFolderMessageBytes + 10, 'x') +
                      "\n\nFrom b@y\nSubject: small\n";
    dir.Write("big.mbox", big);
    long skipped = 0;
    EXPECT_EQ(All(dir.File("big.mbox"), &skipped), std::vector<std::string>{"Subject: small\n"});
    EXPECT_EQ(skipped, 1);
}

TEST(MailFolder, MissingPath) {
    std::string error;
    EXPECT_EQ(ForEachMailAt(
                  "/nonexistent/mail", [](std::string) { return true; }, &error),
              -1);
    EXPECT_NE(error.find("/nonexistent/mail"), std::string::npos);
    EXPECT_EQ(CountMailsAt("/dev/null", &error), -1); // neither folder nor file
}
} // namespace
