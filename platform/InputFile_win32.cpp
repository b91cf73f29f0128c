#include "platform/InputFile.h"

#include <share.h>

#include "platform/LastError.h"
#include "platform/WindowsSupport_win32.h"

namespace platform {

std::FILE* OpenInputFile(const std::string& path) {
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        return nullptr;
    }
    // "N": not inherited by child processes.
    std::FILE* file = ::_wfsopen(wide.c_str(), L"rbN", _SH_DENYNO);
    if (!file) {
        SetLastErrorFromErrno();
    }
    return file;
}

}  // namespace platform
