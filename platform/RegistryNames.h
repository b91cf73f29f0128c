// Names of registry keys and values as the hive files keep them.
//
// Key and value names are UTF-16 and compare case-insensitively while keeping the case they were
// created with. Two names are the same when their folded forms are equal: folding maps every
// UTF-16 code unit to its simple upper-case form (Unicode simple case mapping of the Basic
// Multilingual Plane, one unit to one unit, as the Windows registry compares), and leaves
// surrogate units, and so every character outside that plane, as they are. The table is fixed in
// the code, not taken from the C library's locale, because folded names are stored in the hive:
// a fold that changed with the machine's locale or C library would hide names stored earlier.
//
// Hive files keep names as generalised UTF-8 (WTF-8): valid UTF-16 becomes ordinary UTF-8, and
// an unpaired surrogate, which UTF-16 names may hold, becomes its own three-byte sequence, so
// every name comes back exactly as it was stored.
#pragma once

#include <string>

namespace platform {
namespace regnames {

// The simple upper-case form of one UTF-16 code unit.
char16_t UpcaseUnit(char16_t unit);

// `name` with every code unit folded.
std::u16string Fold(const std::u16string& name);

// The stored form of a UTF-16 name (generalised UTF-8).
std::string ToStored(const std::u16string& name);

// ToStored(Fold(name)) in one pass.
std::string FoldToStored(const std::u16string& name);

// Back from the stored form; false when `stored` is not generalised UTF-8.
bool FromStored(const std::string& stored, std::u16string& name);

}  // namespace regnames
}  // namespace platform
