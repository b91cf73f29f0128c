// A program run on a pseudo-terminal of its own, as a person at a terminal runs it: the test
// reads what it shows, waits for its questions and types the answers. Its standard input,
// output and error are the terminal, so isatty() is true for all three; the test's environment
// is inherited.
#pragma once

#include <sys/types.h>

#include <string>

namespace testsupport {

class PseudoTerminal {
public:
    // Starts `command` (run by /bin/sh -c) on a new pseudo-terminal.
    explicit PseudoTerminal(const std::string& command);
    // Ends a program still running (SIGKILL) and waits for it.
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Reads until the output after the previous match holds `text`, for at most `seconds`;
    // true when it does (the next Expect looks after it).
    bool Expect(const std::string& text, int seconds = 60);
    // Types `text`.
    void Send(const std::string& text);
    // Reads the rest of the output until the program ends, for at most `seconds`; its exit
    // status, or -1 when it did not exit by itself in time.
    int Wait(int seconds = 120);
    // Everything the program showed so far, the echo of what was typed included.
    const std::string& Output() const { return output_; }

private:
    // Reads what is there within `milliseconds`; false once the terminal is closed.
    bool Read(int milliseconds);

    int master_ = -1;
    pid_t child_ = -1;
    std::string output_;
    size_t matched_ = 0;
    int status_ = -1;
};

}  // namespace testsupport
