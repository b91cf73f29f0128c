#include "support/ManifestCabinet.h"

#include "support/TempDir.h"

namespace testsupport {

std::string ManifestXml(const std::string& version) {
    const std::string attribute = version.empty() ? "" : " version=\"" + version + "\"";
    return "<?xml version=\"1.0\"?>\n<manifest" + attribute + "/>\n";
}

bool MakeSignedManifest(Signer signer, const std::string& xml, const std::string& output,
                        const std::string& workDir) {
    const std::string plain = output + ".unsigned";
    return MakeCabinet(plain, {{"manifest.xml", xml}}, true, workDir) &&
           CodeSigning::Instance().Sign(signer, plain, output);
}

}  // namespace testsupport
