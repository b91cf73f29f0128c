// Control characters in texts that reach a person's screen or log: manifest texts, registry
// values, environment values and installers' output may hold ESC, BEL, CR and the like, which a
// terminal would obey (moving the cursor, rewriting lines, changing its title) instead of
// showing. They are written escaped instead, as "\x" and two lower-case hexadecimal digits
// ("\x1b" for ESC): every byte below 0x20 but tab and newline, and 0x7f. Other bytes, UTF-8
// sequences among them, pass unchanged.
//
// A pure function; any thread.
#pragma once

#include <string>

namespace vcm {

std::string EscapeControlCharacters(const std::string& text);

}  // namespace vcm
