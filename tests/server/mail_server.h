#pragma once
// The private test Dovecot that scripts/test_mailserver starts: ports, users,
// Maildirs and CA file from the environment. Tests use users of their own.
#include "core/filter_fixture.h"
#include "core/session_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

class CTestMailServer {
  public:
    static std::string Env(const std::string& name) {
        const char* value = std::getenv(("DROSSGATE_TEST_" + name).c_str());
        return value ? value : "";
    }
    // false (and the test skips) when no test server runs.
    static bool Available() { return !Env("POP3_PORT").empty(); }
    static int Pop3Port() { return std::atoi(Env("POP3_PORT").c_str()); }
    static int ImapPort() { return std::atoi(Env("IMAP_PORT").c_str()); }
    static int ImapsPort() { return std::atoi(Env("IMAPS_PORT").c_str()); }
    static std::string CaFile() { return Env("CA_FILE"); }

    static std::string Password(const std::string& user) {
        std::istringstream users(Env("USERS"));
        for (std::string pair; users >> pair;)
            if (pair.starts_with(user + ":"))
                return pair.substr(user.size() + 1);
        return "";
    }

    // A session of `user` against this server, 20 s for each reply.
    static std::shared_ptr<CMailSession> Session(bool imap, CFilterApp& app,
                                                 const std::string& user) {
        auto session = NewSession(imap ? Protocol::Imap : Protocol::Pop3, app);
        session->UserName = user;
        session->Password = Password(user);
        session->ReceiveTimeout = std::chrono::seconds(20);
        return session;
    }

    static std::filesystem::path Maildir(const std::string& u) {
        return std::filesystem::path(Env("MAILDIR_ROOT")) / u / "Maildir";
    }

    // An empty Maildir owned by the mail user, indexes included.
    static void ResetMailbox(const std::string& user) {
        std::filesystem::remove_all(Maildir(user));
        for (const char* sub : {"cur", "new", "tmp"}) {
            std::filesystem::create_directories(Maildir(user) / sub);
            Own(Maildir(user) / sub);
        }
        Own(Maildir(user));
    }

    // As Maildir delivery does: LF line ends, tmp renamed into new. The server
    // numbers mail in the order of the names: Q10 must not come before Q9.
    static void Deliver(const std::string& user, const std::string& text) {
        static int counter = 0;
        std::string sequence = std::to_string(++counter);
        std::string name = std::to_string(std::time(nullptr)) + ".P" + std::to_string(getpid()) +
                           "Q" + std::string(8 - sequence.size(), '0') + sequence + ".test";
        std::string lines = text;
        std::erase(lines, '\r');
        std::ofstream(Maildir(user) / "tmp" / name, std::ios::binary) << lines;
        Own(Maildir(user) / "tmp" / name);
        std::filesystem::rename(Maildir(user) / "tmp" / name, Maildir(user) / "new" / name);
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

    static long CountContaining(const std::string& user, const std::string& text) {
        const auto texts = Messages(user);
        return std::ranges::count_if(texts, [&](auto& m) { return m.find(text) != m.npos; });
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
