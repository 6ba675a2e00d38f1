#pragma once
// The account test: each test runs CFilterApp::TestAccount on a thread of
// its own (it connects, and may ask for a password through the login
// prompt), then hands its result to the window thread. Several tests may run
// at once.
#include <QMessageBox>
#include <QObject>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CFilterApp;

struct AccountTestMessage {
    QMessageBox::Icon Icon;
    QString Caption;
    QString Text;
};

// The result box for a TestAccount result, texts looked up now.
AccountTestMessage MessageForTestResult(CFilterApp& app, int result);

class CAccountTestRunner {
  public:
    // Runs on the window thread, in the context of `context`.
    using Finished = std::function<void(int result, const AccountTestMessage& message)>;

    CAccountTestRunner(CFilterApp& app, QObject* context);
    // Waits for the tests still running. A test blocked on an open login
    // prompt holds this up until the prompt is answered.
    ~CAccountTestRunner();
    CAccountTestRunner(const CAccountTestRunner&) = delete;
    CAccountTestRunner& operator=(const CAccountTestRunner&) = delete;

    void Start(std::string server, std::string user, std::string password, bool imap,
               Finished finished);
    int Running() const;

  private:
    struct Test {
        std::thread Thread;
    };
    void Collect(Test* test);

    CFilterApp& app_;
    QObject* context_;
    mutable std::mutex lock_;
    std::list<std::unique_ptr<Test>> tests_;
};
