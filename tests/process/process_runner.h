#pragma once
// The program's executables as child processes on a data directory of their own.
#include "core/temp_dir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct ProcessResult {
    int exitCode = -1;  // 128 + the signal when a signal ended it (SIGKILL at the deadline)
    std::string output; // stdout and stderr together
};

// A child with this process's environment, killed if it still runs at the end; not
// copyable (its output directory is not).
class CChildProcess {
  public:
    explicit CChildProcess(const std::vector<std::string>& argv) {
        std::vector<char*> args; // built before fork: the child only calls what is safe after it
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        int out = ::open(output_.File("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if ((pid_ = ::fork()) == 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(out);
        pidfd_ = pid_ > 0 ? static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)) : -1;
    }
    ~CChildProcess() { Wait(std::chrono::milliseconds(0)), ::close(pidfd_); }

    std::string Output() const { return output_.Read("out"); }
    // Tries `condition` until it holds (true), the child ends or a minute passes.
    bool WaitUntil(const std::function<bool()>& condition) {
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
             std::chrono::steady_clock::now() < end;)
            if (condition())
                return true;
            else if (Ends(std::chrono::milliseconds(50))) // also the pause between tries
                return false;
        return false;
    }
    // Waits until the child ends or the deadline passes (then kills it).
    ProcessResult Wait(std::chrono::milliseconds deadline) {
        if (pid_ > 0 && result_.exitCode < 0) {
            if (!Ends(deadline))
                ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            result_ = {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Output()};
        }
        return result_;
    }

  private:
    // Whether the child ends within `time`; it stays unreaped.
    bool Ends(std::chrono::milliseconds time) {
        pollfd entry{pidfd_, POLLIN, 0};
        return pidfd_ < 0 || ::poll(&entry, 1, static_cast<int>(time.count())) == 1;
    }
    CTempDir output_;
    int pid_ = -1, pidfd_ = -1;
    ProcessResult result_;
};

inline ProcessResult RunProcess(const std::vector<std::string>& argv,
                                std::chrono::seconds deadline = std::chrono::seconds(30)) {
    return CChildProcess(argv).Wait(deadline);
}

// A data directory, its registry file, and the environment under which the
// child processes use them.
struct CProgramDir {
    CProgramDir() { dir.Write("registry.ini", RegistryText(dir.Path(), "Language=English\r\n")); }
    ProcessResult Ctl(std::vector<std::string> args,
                      std::chrono::seconds deadline = std::chrono::seconds(30)) const {
        args.insert(args.begin(), DROSSGATE_CTL_BIN);
        return RunProcess(args, deadline);
    }
    bool WaitUntilAnswering(CChildProcess& program) const {
        return program.WaitUntil([&] { return Ctl({"status"}).exitCode == 0; });
    }

    CTempDir dir;
    CScopedEnv registry{"DROSSGATE_REGISTRY", dir.File("registry.ini")},
        channel{"DROSSGATE_CHANNEL", dir.File("channel")}, platform{"QT_QPA_PLATFORM", "offscreen"};
};
