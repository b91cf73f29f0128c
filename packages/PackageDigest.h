// The SHA-256 a manifest names for a package, and the check of a downloaded package against it.
//
// A `package` element of the manifest (of a component, a stream, a hot fix or a plug-in) may
// hold a `sha256` child: 64 hexadecimal digits, in either case (blanks around them are
// ignored). It binds the package to its manifest entry: the file downloaded from the package's
// address must have that digest, checked before its signature is even looked at, so that a
// signed package of another component, or an older signed release, served at the address is
// refused. A package without the element is judged by its signature alone, as before.
//
// A value that is not 64 hexadecimal digits is an error of the manifest, never "no digest":
// the package is refused with its own reason rather than run on its signature alone.
//
// Pure functions, apart from CheckPackageDigest, which reads the file; any thread.
#pragma once

#include <string>

#include "platform/FileSeal.h"

// What the `sha256` text of a package element holds.
enum class DigestText {
    kNone,     // empty: the manifest names no digest
    kValid,    // 64 hexadecimal digits
    kInvalid,  // anything else
};

// Reads `text`; with kValid, `digest` holds the 32 bytes it names, otherwise it is cleared.
// Only the empty text names no digest; blanks alone are not a digest (kInvalid).
DigestText ParseDigestText(const std::string& text, std::string& digest);

// The digest text a record keeps for a `sha256` element that is present with the text `text`:
// the text itself, or for an element without text a stand-in that reads as kInvalid, so that
// an empty element is refused rather than taken for "no digest".
std::string PresentDigestText(const std::string& text);

// The 32 bytes of a digest as 64 lower-case hexadecimal digits.
std::string DigestToHex(const std::string& digest);

// The outcome of checking a downloaded package against its manifest entry.
enum class DigestCheck {
    kNoDigest,    // the entry names none: the signature alone decides
    kMatches,     // the file has the digest named
    kMismatch,    // it has another: not the package the manifest names
    kInvalid,     // the entry's digest is not 64 hexadecimal digits
    kUnreadable,  // the file cannot be read (the calling thread's last error says why)
};

// Checks the file at `path` against `digestText` (the `sha256` text of its package element).
// With kMatches and kMismatch, `seal` holds the seal of the file that was read (FileSeal.h).
DigestCheck CheckPackageDigest(const std::string& path, const std::string& digestText,
                               platform::FileSeal& seal);

// The log's words for a failed check: "the package is not the one the manifest names" for a
// mismatch, "the manifest's sha256 of the package is not 64 hexadecimal digits" for a value
// that is not one; empty for the other outcomes.
const char* DigestCheckText(DigestCheck check);
