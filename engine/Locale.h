// The locale table built into the program and the process-wide current locale.
//
// The table has one row, "en-us" / "English". The default row (index 0) gives the fallback
// code of every multi-language lookup; the selected row, none at start, gives the current
// locale code. Selection and reads are atomic, so worker threads may read the current code.
#pragma once

#include <string>

namespace vmi {
namespace Locale {

struct Row {
    const char* code;
    const char* name;
};

// Number of rows and the row at `index` (index must be below RowCount()).
int RowCount();
const Row& RowAt(int index);

// Code of the default row: "en-us".
std::string FallbackCode();

// Code of the selected row, or the empty string while none is selected.
std::string CurrentCode();

// Selects the row whose code equals `code` exactly; true when found. An unknown code leaves
// the selection as it was.
bool Select(const std::string& code);

// Selects `code` when no row is selected yet (what starting an install does with "en-us").
void SelectIfNone(const std::string& code);

// Back to "no row selected"; for tests and for hosts that reload.
void ClearSelection();

}  // namespace Locale
}  // namespace vmi
