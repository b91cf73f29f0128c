// The yes/no questions vomo-reg asks before it overwrites or deletes without /f.
#pragma once

#include <iosfwd>
#include <string>

namespace vomoreg {

enum class Answer { Yes, No, None };

// Writes `question` and " (Yes/No)? " to `out` and reads lines from `in` until one starts with
// "y" or "n" (either case), asking again after any other line. A line counts whether typed or
// piped. None when `in` ends first: no one answered.
Answer Ask(const std::string& question, std::istream& in, std::ostream& out);

// Ask() on standard input and output: true for Yes, false for No; a question left without an
// answer is a failure (a Failure is thrown), never taken as a No, so that a script that forgot /f
// and runs without input learns that nothing was written.
bool Confirmed(const std::string& question);

}  // namespace vomoreg
