#include "process/process_runner.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

CChildProcess::CChildProcess(const std::vector<std::string>& argv,
                             const std::map<std::string, std::string>& env) {
    char pattern[] = "/tmp/drossgate-child-XXXXXX";
    int out = mkstemp(pattern);
    if (out < 0)
        return;
    outputPath_ = pattern;
    std::map<std::string, std::string> all;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        size_t eq = entry.find('=');
        if (eq != std::string::npos)
            all[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [k, v] : env) {
        if (v == "<unset>")
            all.erase(k);
        else
            all[k] = v;
    }
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : all)
        envStrings.push_back(k + "=" + v);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out, 1);
        dup2(out, 2);
        std::vector<char*> args, envp;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& e : envStrings)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    close(out);
}

CChildProcess::~CChildProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (!outputPath_.empty())
        unlink(outputPath_.c_str());
}

bool CChildProcess::Running() {
    if (pid_ <= 0 || reaped_)
        return false;
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        reaped_ = true;
        result_.exited = true;
        result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

void CChildProcess::Kill(int signal) {
    if (pid_ > 0 && !reaped_)
        kill(pid_, signal);
}

ProcessResult CChildProcess::Wait(std::chrono::milliseconds deadline) {
    auto end = std::chrono::steady_clock::now() + deadline;
    while (Running() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // polling a child's exit
    if (!reaped_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        reaped_ = true;
        result_.exited = false;
    }
    std::ifstream in(outputPath_, std::ios::binary);
    result_.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return result_;
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env,
                         std::chrono::milliseconds deadline) {
    CChildProcess child(argv, env);
    return child.Wait(deadline);
}
