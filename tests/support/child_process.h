// A program run as a child process for a test: standard output and error
// come back through one pipe. The child is killed if the test ends first.
#pragma once

#include <csignal>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

struct Child {
    pid_t pid = -1;
    int out = -1;
    std::string output;   // everything read so far
    std::string buffered; // what line() has not taken yet

    Child(const char* program, std::vector<std::string> args) {
        args.insert(args.begin(), program);
        int fds[2];
        if (pipe(fds) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            close(fds[0]);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        out = fds[0];
    }
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out >= 0) close(out);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads more output; false at its end or after 10 s without any.
    bool fill() {
        pollfd p{out, POLLIN, 0};
        char buf[4096];
        ssize_t n = poll(&p, 1, 10000) > 0 ? read(out, buf, sizeof buf) : 0;
        if (n <= 0) return false;
        output.append(buf, size_t(n));
        buffered.append(buf, size_t(n));
        return true;
    }
    // The next line of output; empty when none comes.
    std::string line() {
        size_t nl;
        while ((nl = buffered.find('\n')) == std::string::npos)
            if (!fill()) return "";
        std::string l = buffered.substr(0, nl);
        buffered.erase(0, nl + 1);
        return l;
    }
    // Everything up to the end of the output that line() has not taken.
    std::string rest() {
        while (fill()) {
        }
        return std::exchange(buffered, {});
    }
    // Reads until the output holds text; false when it ends or stays quiet.
    bool read_until(const std::string& text) {
        while (output.find(text) == std::string::npos)
            if (!fill()) return false;
        return true;
    }
    // Sends signal first when given; the exit status, -1 for a killed child.
    int exit_code(int signal = 0) {
        if (signal != 0) kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};
