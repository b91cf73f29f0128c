// Loading a system library and looking a function up in it by name, as Win32 code does with
// LoadLibraryW and GetProcAddress to use a function only where the system offers it.
//
// On POSIX the only library there is to load is "Advapi32.dll" (the name compares
// case-insensitively, as file names do on Windows), and the only function it offers is
// "RegDeleteKeyExW", which is platform::RegDeleteKeyExW of the registry layer. Any other library
// fails to load (error 126) and any other function is not found (error 127); both are recorded
// as the thread's last error. On Windows these are the system's loader calls themselves.
#pragma once

namespace platform {

struct LibraryObject;
typedef LibraryObject* LibraryHandle;
// A function found by name; cast it to its real type (such as RegDeleteKeyExWProc) to call it.
typedef void (*LibraryProc)();

// The library `name`, or null.
LibraryHandle LoadLibraryW(const char16_t* name);

// The function `name` of `library`, or null.
LibraryProc GetProcAddress(LibraryHandle library, const char* name);

// Releases a library from LoadLibraryW; false for anything else.
bool FreeLibrary(LibraryHandle library);

// Test hook: while `fails` is true, GetProcAddress finds nothing, as on a system whose
// registry library lacks the function, so that callers' fallbacks can be exercised.
void SetLibraryLookupFailsForTesting(bool fails);

}  // namespace platform
