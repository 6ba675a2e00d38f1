#pragma once
// Starts the program's executables as child processes with their own
// environment, and waits for them with a deadline.
#include <chrono>
#include <map>
#include <string>
#include <vector>

struct ProcessResult {
    bool exited = false; // false: still running at the deadline (then killed)
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

class CChildProcess {
  public:
    CChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env);
    ~CChildProcess(); // kills a child that still runs
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // Waits until the child ends or the deadline passes (then kills it).
    ProcessResult Wait(std::chrono::milliseconds deadline);
    void Kill(int signal);
    bool Running();

  private:
    int pid_ = -1;
    std::string outputPath_;
    ProcessResult result_;
    bool reaped_ = false;
};

// Runs to completion (killed after the deadline).
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env,
                         std::chrono::milliseconds deadline = std::chrono::seconds(30));
