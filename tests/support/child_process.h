#pragma once
// Work run in a forked child, for limits and identities that must not touch
// the test process.

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace dlvtest {

struct ChildOutcome {
    bool exited = false;  // ended by _exit, not by a signal
    int status = 0;       // exit code, or the signal
    std::string text;     // what the child reported
};

// Runs work in a forked child and returns the text it produced. Blocks until
// the child ends.
inline ChildOutcome runInChild(const std::function<std::string()>& work)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        const std::string text = work();
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(pipeFds[1], text.data() + done, text.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    ChildOutcome outcome;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        outcome.text.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.exited = WIFEXITED(status);
    outcome.status = outcome.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    return outcome;
}

}  // namespace dlvtest
