#include "packages/CabFileExtractor.h"

#include <cstring>

#include "packages/IFileIO.h"
#include "platform/Cabinet.h"

bool CabFileExtractor::CanExtract(const Url& source) {
    boost::shared_ptr<IFileIO> file = CreateFileIO();
    if (!file || !file->Open(source.GetPath(), 0)) {
        return false;
    }
    char signature[4];
    const bool read = file->Read(signature, sizeof signature);
    file->Close();
    return read && std::memcmp(signature, "MSCF", sizeof signature) == 0;
}

bool CabFileExtractor::Extract(const Url& source, const Url& destination) {
    return platform::ExtractCabinet(source.GetPath(), destination.GetPath(), outputLimit_);
}
