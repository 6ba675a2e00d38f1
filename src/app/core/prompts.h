#pragma once
// The questions the core asks the user. The core owns these interfaces; the
// windows implement them by running a dialog on the window thread and
// blocking the asking thread until the answer comes; tests script them.
// Both are called on session threads, never on the window thread's behalf of
// AppLock: the new-sender question is asked while the pipeline holds AppLock.
#include <string>

enum class NewSenderAnswer {
    NoAnswer = 0, // no window to ask with, or the program is quitting: change nothing
    Friend = 1,
    Block = 2,
    Ignore = 5,
};

// What the question about a new sender shows.
struct NewSenderQuestion {
    std::string Prompt = {};     // the sender and the question, as the language file words it
    std::string Sender = {};     // the sender as the rules read it
    std::string Subject = {};    // the mail's subject, decoded
    std::string FirstLines = {}; // the first lines of its decoded text
    // What the learned score thinks of it, in the user's language; empty
    // while the score has not learned enough to say.
    std::string Guess = {};
};

class INewSenderPrompt {
  public:
    virtual ~INewSenderPrompt() = default;
    // Blocks until the user answers. Never answers Block or Ignore by default.
    virtual NewSenderAnswer AskNewSender(const NewSenderQuestion& question) = 0;
};

struct LoginPromptData {
    std::string Title;    // caption: the account's name, or the server's name
    std::string UserName; // prefilled, and the value typed in on OK
    std::string Password; // prefilled, and the value typed in on OK
};

class ILoginPrompt {
  public:
    virtual ~ILoginPrompt() = default;
    // 1 OK (data holds the values typed in), 2 Cancel. Blocks until answered.
    virtual int AskLogin(LoginPromptData& data) = 0;
};

// The question before a password would go over the network in plain text.
struct PlainTextQuestion {
    std::string Account; // the account's name, or the server's
    std::string Server;
    bool TlsSeen = false; // the server offered TLS at an earlier login
};

class IPlainTextPrompt {
  public:
    virtual ~IPlainTextPrompt() = default;
    // 1 the user allows plain text for this account, 2 not. Blocks until
    // answered; without anyone to ask, 2.
    virtual int AskPlainText(const PlainTextQuestion& question) = 0;
};

// The question when an OAuth 2.0 account's sign-in is no longer accepted.
struct SignInQuestion {
    std::string Account; // the account's name, or the server's
    char Type = 'I';
    std::string Server, User;
    std::string ProviderText; // what the provider or server said, made printable
};

class ISignInPrompt {
  public:
    virtual ~ISignInPrompt() = default;
    // 1 the user signed in again (the new sign-in is stored), 2 not.
    // Blocks until done; without anyone to ask, 2.
    virtual int AskSignInAgain(const SignInQuestion& question) = 0;
};
