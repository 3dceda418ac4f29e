// A program run by a test with its standard output and standard error kept
// apart, without a display (DISPLAY unset) and with nothing on its input.
// The process is killed if the test ends first.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct ProgramRun {
    pid_t pid = -1;
    int out_fd = -1, err_fd = -1;
    std::string out, err;

    ProgramRun(const std::string& program, const std::vector<std::string>& args);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Reads until standard output holds text; false when the output ends or
    // nothing comes for 20 s.
    bool wait_for_output(const std::string& text);
    // Reads both to their end and waits for the process: its exit status,
    // or 128 + the signal that killed it.
    int finish();
    // The lines of standard output (after finish).
    std::vector<std::string> lines() const;

  private:
    bool read_some(int timeout_ms);
};
