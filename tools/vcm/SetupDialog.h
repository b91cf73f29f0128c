// vcm setup's side of the conversation on a terminal: questions read from standard input (a
// terminal, or answers piped in), texts shown through the user's pager, and the licence texts
// fetched from their addresses.
//
// A question that gets no answer because standard input ended is not answered at all: the
// caller stops, it does not take the default.
#pragma once

#include <cstdint>
#include <string>

namespace vcmtool {

// The text with every control character but tab and line feed (escape sequences included)
// shown as "?", so that a text from a server can neither move the cursor nor change the
// terminal's settings.
std::string Printable(const std::string& text);

// Asks `question` until it gets "y", "yes", "n", "no" (any case) or an empty line, which takes
// `byDefault`. False when standard input ended first.
bool AskYesNo(const std::string& question, bool byDefault, bool& yes);

// Asks `question` and gives `byDefault` for an empty answer. False when input ended first.
bool AskText(const std::string& question, const std::string& byDefault, std::string& answer);

// Shows `text` through the user's pager ($PAGER, else less) when standard output is a
// terminal, otherwise prints it. A pager that cannot be run leaves the text printed.
void ShowPaged(const std::string& text);

// The largest licence text fetched.
const uint64_t kLicenceMaxBytes = 1u << 20;

// Fetches the text at `url` (http, https or file) through the library's download. False with
// the reason in `why`.
bool FetchText(const std::string& url, std::string& text, std::string& why);

}  // namespace vcmtool
