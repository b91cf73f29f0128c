#include "engine/ComponentRecord.h"

PackageType PackageTypeFromText(const std::string& text) {
    if (text == "exe") {
        return kPackageExe;
    }
    if (text == "nsis") {
        return kPackageNsis;
    }
    if (text == "msi") {
        return kPackageMsi;
    }
    return kPackageNone;
}
