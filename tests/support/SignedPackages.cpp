#include "support/SignedPackages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "support/TestPackages.h"

namespace testsupport {

SignedPackages::SignedPackages() {
    const char* tmp = std::getenv("TMPDIR");
    hadTmp_ = tmp != nullptr;
    previousTmp_ = tmp ? tmp : "";
    ::setenv("TMPDIR", tmp_.Path().c_str(), 1);
    ::setenv("VOMO_TRUST_ROOTS", CodeSigning::Instance().TrustedRoots().c_str(), 1);
}

SignedPackages::~SignedPackages() {
    ::unsetenv("VOMO_TRUST_ROOTS");
    if (hadTmp_) {
        ::setenv("TMPDIR", previousTmp_.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

std::string SignedPackages::Serve(const std::string& name, const std::string& script,
                                  Signer signer) {
    const std::string unsigned_ = MakePackage(dir_, name + ".unsigned", script);
    const std::string file = dir_.File(name);
    std::remove(file.c_str());  // a package served anew under the same name
    if (!CodeSigning::Instance().Sign(signer, unsigned_, file)) {
        ADD_FAILURE() << "cannot sign " << file;
    }
    return Route(name, file);
}

std::string SignedPackages::ServeManifest(const std::string& xml, Signer signer) {
    const std::string work = dir_.File("manifest.member");
    const std::string plain = dir_.File("manifest.unsigned.cab");
    const std::string file = dir_.File("manifest.cab");
    std::remove(plain.c_str());
    std::remove(file.c_str());
    if (RunCommand("mkdir -p " + ShellQuote(work)) != 0 ||
        !MakeCabinet(plain, {std::make_pair(std::string("manifest.xml"), xml)}, true, work) ||
        !CodeSigning::Instance().Sign(signer, plain, file)) {
        ADD_FAILURE() << "cannot make the signed manifest " << file;
    }
    std::string bytes;
    EXPECT_TRUE(ReadFile(file, bytes)) << file;
    server_.Route("/vomo/setup/manifest.cab", HttpReply::Body(bytes));
    return server_.Url("/vomo/setup/manifest.cab");
}

std::string SignedPackages::ServeUnsigned(const std::string& name, const std::string& script) {
    return Route(name, MakePackage(dir_, name, script));
}

std::string SignedPackages::Bytes(const std::string& name) const {
    std::string bytes;
    ReadFile(dir_.File(name), bytes);
    return bytes;
}

std::string SignedPackages::Route(const std::string& name, const std::string& file) {
    std::string bytes;
    EXPECT_TRUE(ReadFile(file, bytes)) << file;
    server_.Route("/" + name, HttpReply::Body(bytes));
    return server_.Url("/" + name);
}

std::vector<std::string> SignedPackages::LeftInTemp() const {
    return FilesBelow(tmp_.Path());
}

}  // namespace testsupport
