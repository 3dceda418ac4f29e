#include "program_run.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

ProgramRun::ProgramRun(const std::string& program, const std::vector<std::string>& args) {
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0) return;
    if (pipe(err_pipe) != 0) {
        close(out_pipe[0]);
        close(out_pipe[1]);
        return;
    }
    pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1], null}) close(fd);
        unsetenv("DISPLAY");
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    out_fd = out_pipe[0];
    err_fd = err_pipe[0];
}

ProgramRun::~ProgramRun() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (out_fd >= 0) close(out_fd);
    if (err_fd >= 0) close(err_fd);
}

bool ProgramRun::read_some(int timeout_ms) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    if (out_fd < 0 && err_fd < 0) return false;
    if (poll(fds, 2, timeout_ms) <= 0) return false;
    std::string* texts[2] = {&out, &err};
    int* fd[2] = {&out_fd, &err_fd};
    for (int i = 0; i < 2; ++i) {
        if (*fd[i] < 0 || (fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
        char buf[4096];
        ssize_t n = read(*fd[i], buf, sizeof buf);
        if (n > 0) {
            texts[i]->append(buf, size_t(n));
        } else {
            close(*fd[i]);
            *fd[i] = -1;
        }
    }
    return true;
}

bool ProgramRun::wait_for_output(const std::string& text) {
    while (out.find(text) == std::string::npos)
        if (out_fd < 0 || !read_some(20000)) return false;
    return true;
}

int ProgramRun::finish() {
    while (read_some(60000)) {
    }
    if (pid <= 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> ProgramRun::lines() const {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
        result.push_back(out.substr(start, nl - start));
    if (start < out.size()) result.push_back(out.substr(start));
    return result;
}
