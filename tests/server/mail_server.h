#pragma once
// The private test Dovecot that scripts/test_mailserver starts, as the tests
// see it: ports, users, Maildirs and CA files from the environment. Each
// test uses users of its own, so tests may run side by side.
#include "core/filter_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <pwd.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

class CTestMailServer {
  public:
    // false (and the test skips) when no test server runs.
    static bool Available() { return std::getenv("DROSSGATE_TEST_POP3_PORT") != nullptr; }

    static int Port(const char* name) {
        const char* value = std::getenv(name);
        return value ? std::atoi(value) : 0;
    }
    static int Pop3Port() { return Port("DROSSGATE_TEST_POP3_PORT"); }
    static int ImapPort() { return Port("DROSSGATE_TEST_IMAP_PORT"); }
    static int Pop3sPort() { return Port("DROSSGATE_TEST_POP3S_PORT"); }
    static int ImapsPort() { return Port("DROSSGATE_TEST_IMAPS_PORT"); }
    static std::string Env(const char* name) {
        const char* value = std::getenv(name);
        return value ? value : "";
    }
    static std::string CaFile() { return Env("DROSSGATE_TEST_CA_FILE"); }
    static std::string OtherCaFile() { return Env("DROSSGATE_TEST_OTHER_CA_FILE"); }

    static std::string Password(const std::string& user) {
        std::istringstream users(Env("DROSSGATE_TEST_USERS"));
        std::string pair;
        while (users >> pair)
            if (pair.compare(0, user.size() + 1, user + ":") == 0)
                return pair.substr(user.size() + 1);
        return "";
    }

    static std::filesystem::path Maildir(const std::string& user) {
        return std::filesystem::path(Env("DROSSGATE_TEST_MAILDIR_ROOT")) / user / "Maildir";
    }

    // An empty Maildir owned by the mail user, indexes included.
    static void ResetMailbox(const std::string& user) {
        auto dir = Maildir(user);
        std::filesystem::remove_all(dir);
        for (const char* sub : {"cur", "new", "tmp"}) {
            std::filesystem::create_directories(dir / sub);
            Own(dir / sub);
        }
        Own(dir);
    }

    // Delivers one message (CR LF line ends) as Maildir delivery does.
    static void Deliver(const std::string& user, const std::string& text) {
        // The server numbers new mail in the order of the names: the counter
        // has a fixed width, so that Q10 does not come before Q9.
        static int counter = 0;
        std::string sequence = std::to_string(++counter);
        std::string name = std::to_string(std::time(nullptr)) + ".P" + std::to_string(getpid()) +
                           "Q" + std::string(8 - std::min<size_t>(8, sequence.size()), '0') +
                           sequence + ".drossgate-test";
        auto tmp = Maildir(user) / "tmp" / name;
        {
            std::ofstream out(tmp, std::ios::binary);
            // Maildir files hold LF line ends; the server adds the CR.
            for (char c : text)
                if (c != '\r')
                    out << c;
        }
        Own(tmp);
        std::filesystem::rename(tmp, Maildir(user) / "new" / name);
    }

    // The texts of the messages still in the mailbox (new and cur).
    static std::vector<std::string> Messages(const std::string& user) {
        std::vector<std::string> texts;
        for (const char* sub : {"new", "cur"})
            for (const auto& entry : std::filesystem::directory_iterator(Maildir(user) / sub)) {
                std::ifstream in(entry.path(), std::ios::binary);
                texts.emplace_back(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
            }
        return texts;
    }

    // How many remaining messages contain `text`.
    static int CountContaining(const std::string& user, const std::string& text) {
        int count = 0;
        for (const std::string& message : Messages(user))
            count += message.find(text) != std::string::npos;
        return count;
    }

  private:
    static void Own(const std::filesystem::path& path) {
        // The server's mail processes run as the user "mail".
        const passwd* mail = ::getpwnam("mail");
        if (!mail || ::chown(path.c_str(), mail->pw_uid, mail->pw_gid) != 0)
            ADD_FAILURE() << "cannot hand " << path << " to the mail user";
    }
};

#define SKIP_WITHOUT_MAIL_SERVER()                                                                 \
    do {                                                                                           \
        if (!CTestMailServer::Available())                                                         \
            GTEST_SKIP() << "no test mail server (run under scripts/test_mailserver run --)";      \
    } while (0)

// The mail the integration tests deliver to each mailbox, and whether the
// rules they set up (Normal level, new senders become friends, spam words
// "cheap pills" and "winner", friend ann@friends.example, blocked domain
// blocked.example) condemn it.
struct Delivery {
    filter_test::Mail Mail;
    bool Condemned;
};

inline std::vector<Delivery> Mixture() {
    filter_test::Mail friendMail, spam, exe, blocked, twin, newcomer;
    friendMail.From = "ann@friends.example";
    friendMail.Subject = "Minutes of the meeting";
    spam.From = "promo@ads.example";
    spam.Subject = "Offer";
    spam.Body = "You are a winner of cheap pills!\r\n";
    exe.From = "ann@friends.example";
    exe.Subject = "Tool";
    exe.Attachments = {{"setup.exe"}};
    blocked.From = "news@blocked.example";
    blocked.Subject = "Newsletter";
    twin.From = "ann@friends.example";
    twin.Subject = "Twice";
    newcomer.From = "bob@new.example";
    newcomer.Subject = "Hello from Bob";
    return {{friendMail, false}, {spam, true}, {exe, true},      {blocked, true},
            {twin, true},        {twin, true}, {newcomer, false}};
}

inline void DeliverMixture(const std::string& user) {
    CTestMailServer::ResetMailbox(user);
    for (const Delivery& d : Mixture())
        CTestMailServer::Deliver(user, filter_test::MessageText(d.Mail));
}

// Read from the Maildir itself, not through a client.
inline void ExpectOnlyUncondemnedLeft(const std::string& user) {
    SCOPED_TRACE(user);
    EXPECT_EQ(CTestMailServer::Messages(user).size(), 2u);
    for (const Delivery& d : Mixture())
        EXPECT_EQ(CTestMailServer::CountContaining(user, "Subject: " + d.Mail.Subject),
                  d.Condemned ? 0 : 1)
            << d.Mail.Subject;
}
