#pragma once
// Running one session against a scripted fake server: a scripted login
// prompt, a judge that records its batches and answers with given verdicts,
// and the checks every failing session must pass.
#include "app/core/filter_app.h"
#include "fake_server.h"
#include "mail/session.h"
#include "temp_dir.h"

#include <deque>
#include <gtest/gtest.h>

struct LoginAnswer {
    bool Ok;
    std::string User, Password;
};

class CScriptedLogin : public ILoginPrompt {
  public:
    explicit CScriptedLogin(std::deque<LoginAnswer> answers) : answers_(std::move(answers)) {}
    int AskLogin(LoginPromptData& data) override {
        std::lock_guard guard(lock_);
        Asked.push_back(data);
        if (answers_.empty())
            return 2;
        LoginAnswer answer = answers_.front();
        answers_.pop_front();
        if (!answer.Ok)
            return 2;
        data.UserName = answer.User;
        data.Password = answer.Password;
        return 1;
    }
    std::vector<LoginPromptData> Asked;

  private:
    std::mutex lock_;
    std::deque<LoginAnswer> answers_;
};

// The concatenation of the script's C: steps: what the client must send.
inline std::string ClientSide(const std::vector<FakeStep>& script) {
    std::string bytes;
    for (const FakeStep& step : script)
        if (step.What == FakeStep::Kind::Expect)
            bytes += step.Bytes;
    return bytes;
}

class CSessionRun {
  public:
    CSessionRun() {
        app.InstallPath = dir.Path();
        app.LoginPrompt = &login;
    }
    ~CSessionRun() { app.LoginPrompt = nullptr; }

    // Connects a new session to `server`, runs it to its end and returns it.
    template <class Session>
    std::shared_ptr<Session> Run(CFakeServer& server,
                                 const std::function<void(Session&)>& setup = {}) {
        auto session = std::make_shared<Session>(app);
        session->ServerName = "127.0.0.1";
        session->AccountName = "Home";
        session->UserName = "u";
        session->Password = "p";
        // Long enough for a loaded machine; the stalling servers wait it out.
        session->ReceiveTimeout = std::chrono::seconds(3);
        session->JudgeHook = [this](const std::vector<std::string>& batch) {
            std::lock_guard guard(judgeLock_);
            Judged.push_back(batch);
            if (BeforeVerdicts)
                BeforeVerdicts();
            return Verdicts;
        };
        if (setup)
            setup(*session);
        testing::internal::CaptureStderr();
        EXPECT_EQ(session->ConnectToServer(server.Port()), 1);
        session->StartStep();
        EXPECT_TRUE(session->WaitUntilEnded(std::chrono::seconds(30)));
        EXPECT_TRUE(server.WaitDone());
        StatusLog = testing::internal::GetCapturedStderr();
        EXPECT_EQ(server.Failure(), "");
        return session;
    }

    CTempDir dir;
    CFilterApp app;
    CScriptedLogin login{{}};
    std::vector<unsigned char> Verdicts;
    std::function<void()> BeforeVerdicts;
    std::vector<std::vector<std::string>> Judged;
    std::string StatusLog; // every status text the run recorded, in order

  private:
    std::mutex judgeLock_;
};

// A fault case: the session must end with the given status, judge nothing,
// delete nothing and leave no thread or descriptor behind.
struct FaultCase {
    const char* Name;
    std::vector<FakeStep> Script;
    const char* Status;
    size_t MaxMessage = 256u * 1024u * 1024u;
};

template <class Session> void ExpectFaultHandled(const FaultCase& c, const char* deleteCommand) {
    int descriptors = OpenDescriptorCount();
    int threads = ThreadCount();
    {
        CSessionRun run;
        run.Verdicts = {0, 0, 0};
        CFakeServer server(c.Script);
        auto session = run.Run<Session>(server, [&](Session& s) {
            s.Limits.MaxMessage = c.MaxMessage;
            s.ReceiveTimeout = std::chrono::seconds(1);
        });
        EXPECT_TRUE(session->EndedWithFailure());
        EXPECT_TRUE(run.Judged.empty()) << "a batch was judged";
        EXPECT_EQ(server.Received().find(deleteCommand), std::string::npos);
        EXPECT_NE(run.StatusLog.find(c.Status), std::string::npos) << run.StatusLog;
        EXPECT_FALSE(session->IsConnected());
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ThreadCount(), threads);
}
