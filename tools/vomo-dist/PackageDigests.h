// The `sha256` elements of a manifest's packages, as vomo-dist fills and checks them.
//
// A package element's local file is the file of the package folder named as the last part of
// the package's address (its path, without a query or fragment): a publisher keeps the
// packages it uploads in one folder.
#pragma once

#include <string>

namespace vomodist {

// Reads the manifest `input`, sets the `sha256` child of every `package` element (of components,
// streams, hot fixes and plug-ins) whose local file is in `folder` to that file's SHA-256
// (written in lower case; an existing value is replaced), and writes the manifest to `output`.
// One line per package filled is printed. False, with `error` saying why, when the manifest
// cannot be read or written.
bool FillPackageDigests(const std::string& input, const std::string& folder,
                        const std::string& output, std::string& error);

// Checks the `sha256` of every package of the manifest `manifest`: its form (64 hexadecimal
// digits), and, for a package whose local file is in `folder`, that file's digest. One line per
// package with a digest is printed. 0 when every digest holds, 1 otherwise (or when the
// manifest cannot be read).
int CheckPackageDigests(const std::string& manifest, const std::string& folder);

}  // namespace vomodist
