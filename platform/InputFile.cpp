#include "platform/InputFile.h"

#include "platform/LastError.h"

namespace platform {

std::FILE* OpenInputFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rbe");  // "e": close-on-exec
    if (!file) {
        SetLastErrorFromErrno();
    }
    return file;
}

}  // namespace platform
