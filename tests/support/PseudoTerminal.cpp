#include "support/PseudoTerminal.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace testsupport {

namespace {

typedef std::chrono::steady_clock Clock;

}  // namespace

PseudoTerminal::PseudoTerminal(const std::string& command) {
    struct winsize size = {};
    size.ws_row = 40;
    size.ws_col = 120;
    child_ = ::forkpty(&master_, nullptr, nullptr, &size);
    if (child_ == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
}

PseudoTerminal::~PseudoTerminal() {
    if (child_ > 0) {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

bool PseudoTerminal::Read(int milliseconds) {
    if (master_ < 0) {
        return false;
    }
    pollfd ready = {master_, POLLIN, 0};
    if (::poll(&ready, 1, milliseconds) <= 0) {
        return true;
    }
    char buffer[4096];
    const ssize_t got = ::read(master_, buffer, sizeof buffer);
    if (got > 0) {
        output_.append(buffer, static_cast<size_t>(got));
        return true;
    }
    if (got < 0 && errno == EINTR) {
        return true;
    }
    return false;  // EIO once every holder of the terminal's other end has closed it
}

bool PseudoTerminal::Expect(const std::string& text, int seconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const size_t at = output_.find(text, matched_);
        if (at != std::string::npos) {
            matched_ = at + text.size();
            return true;
        }
        if (Clock::now() > deadline || !Read(50)) {
            return false;
        }
    }
}

void PseudoTerminal::Send(const std::string& text) {
    size_t done = 0;
    while (master_ >= 0 && done < text.size()) {
        const ssize_t wrote = ::write(master_, text.data() + done, text.size() - done);
        if (wrote < 0 && errno != EINTR) {
            return;
        }
        done += wrote > 0 ? static_cast<size_t>(wrote) : 0;
    }
}

int PseudoTerminal::Wait(int seconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    while (child_ > 0) {
        while (Read(20)) {
            if (Clock::now() > deadline) {
                break;
            }
        }
        int status = 0;
        const pid_t ended = ::waitpid(child_, &status, WNOHANG);
        if (ended == child_) {
            child_ = -1;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (Clock::now() > deadline) {
            return -1;
        }
    }
    return status_;
}

}  // namespace testsupport
