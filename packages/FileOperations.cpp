#include "packages/FileOperations.h"

#include <exception>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "platform/FileTree.h"
#include "platform/TempFile.h"

namespace fs = boost::filesystem;

namespace {

// The form of every generated name: "vomo" and four random lower-case hexadecimal digits.
const char kNameModel[] = "vomo%%%%";
// With 65536 names, this many taken names in a row means the folder is flooded.
const int kNameAttempts = 64;

}  // namespace

bool FileOperations::MakeUniquePath(const Url& base, Url& path) {
    try {
        std::string directory;
        if (base.IsEmpty()) {
            if (!platform::GetTempDirectory(directory)) {
                return false;
            }
        } else {
            directory = base.GetPath();
        }
        if (directory.empty()) {
            return false;
        }
        if (directory[directory.size() - 1] != '/') {
            directory += '/';
        }
        // A "file" Url ends its path at a "?": the name handed out would not be the one
        // checked here, so such a folder is refused.
        if (Url::FromPath(directory).GetPath() != directory) {
            return false;
        }
        // Only the name is drawn from the model, so that a "%" in the folder's own name stays.
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            const std::string candidate = directory + fs::unique_path(kNameModel).string();
            boost::system::error_code error;
            const fs::file_status status = fs::symlink_status(candidate, error);
            if (status.type() == fs::file_not_found) {
                path = Url::FromPath(candidate);
                return !path.IsEmpty();
            }
        }
        return false;
    } catch (const std::exception&) {
        return false;  // no random source, or a path that is not UTF-8
    }
}

bool FileOperations::RemoveAll(const Url& path) {
    return platform::RemoveTree(path.GetPath());
}

bool FileOperations::CreateDirectory(const Url& path) {
    try {
        boost::system::error_code error;
        const bool created = fs::create_directory(fs::path(path.GetPath()), error);
        return created && !error;
    } catch (const std::exception&) {
        return false;
    }
}

bool FileOperations::Recreate(const Url& path) {
    RemoveAll(path);
    return CreateDirectory(path);
}

bool FileOperations::CopyFile(const Url& source, const Url& destination) {
    return CopyFile(source.GetPath(), destination.GetPath());
}

bool FileOperations::CopyFile(const std::string& source, const std::string& destination) {
    try {
        boost::system::error_code error;
        // Without overwrite options the copy fails when anything stands at the destination,
        // a dangling link included, and leaves it as it is.
        const bool copied =
            fs::copy_file(fs::path(source), fs::path(destination), fs::copy_options::none, error);
        return copied && !error;
    } catch (const std::exception&) {
        return false;
    }
}

boost::shared_ptr<IFileOperations> CreateFileOperations() {
    return boost::make_shared<FileOperations>();
}
