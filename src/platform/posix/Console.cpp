// SPDX-License-Identifier: MIT
#include "platform/Console.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace trovex
{

std::vector<std::string> CommandLineArgs(int argc, char** argv)
{
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

bool IsTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) != 0;
}

std::string WorkingFolder()
{
    std::string folder;
    if (char* cwd = ::getcwd(nullptr, 0)) {
        folder = cwd;
        std::free(cwd);
    }
    return folder;
}

void SetBinaryOutput(std::FILE*) {}

int WriteOutput(std::FILE* stream, std::string_view bytes)
{
    std::fflush(stream);
    const int fd = ::fileno(stream);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

struct TOutputWatch::TState
{
    int Stop[2] = {-1, -1}; // written to end the watch at once
    std::thread Thread;
};

TOutputWatch::TOutputWatch(std::function<void()> onGone)
{
    struct stat st{};
    if (::fstat(STDOUT_FILENO, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
        return;
    auto state = std::make_unique<TState>();
    if (::pipe2(state->Stop, O_CLOEXEC) != 0)
        return;
    const int stop = state->Stop[0];
    state->Thread = std::thread([stop, onGone = std::move(onGone)] {
        // Asked for nothing, a pipe's writing end still reports POLLERR once no reader is left.
        pollfd fds[2] = {{STDOUT_FILENO, 0, 0}, {stop, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents)
                return;
            if (fds[0].revents & (POLLERR | POLLHUP)) {
                onGone();
                return;
            }
            if (fds[0].revents & POLLNVAL)
                return;
        }
    });
    FState = std::move(state);
}

TOutputWatch::~TOutputWatch()
{
    if (!FState)
        return;
    const char byte = 0;
    while (::write(FState->Stop[1], &byte, 1) < 0 && errno == EINTR) {
    }
    FState->Thread.join();
    ::close(FState->Stop[0]);
    ::close(FState->Stop[1]);
}

void EndAsClosedPipe()
{
    std::raise(SIGPIPE);
}

} // namespace trovex
