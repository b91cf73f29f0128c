// The argument text of an installer's command line, and the argument vector a program receives
// from it, by the Windows command-line rules (as CommandLineToArgvW applies them).
//
// Splitting: blanks and tabs outside double quotes separate arguments; a double quote starts or
// ends a quoted part, which may hold blanks and may be glued to unquoted text ("a"b is ab);
// inside a quoted part two double quotes in a row give one literal double quote and end the
// quoted part. Backslashes are literal unless a double quote follows them: then each pair of
// backslashes gives one backslash, and an odd one left over makes the double quote literal
// instead of a delimiter. A text of only blanks gives no argument; "" gives one empty argument.
//
// One addition for uninstallers, which take their folder last and unquoted: an argument that
// starts with "_?=" takes the rest of the text, blanks, quotes and backslashes included.
//
// Pure text functions; any thread.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The arguments of `text` by the rules above.
std::vector<std::string> SplitCommandLine(const std::string& text);

// `text` made ready to stand between two double quotes of an argument text, so that splitting
// gives `text` back whole: a double quote becomes \", and the backslashes before a double quote
// or at the end of `text` are doubled. Texts without either come back unchanged.
std::string EscapeForQuotes(const std::string& text);

}  // namespace platform
