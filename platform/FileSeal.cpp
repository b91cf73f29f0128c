#include "platform/FileSeal.h"

#include <openssl/evp.h>

#include <memory>

#include "platform/LastError.h"
#include "platform/SignedFileLayout.h"
#include "platform/Trust.h"

namespace platform {

namespace signedfile {

bool SealSource(ByteSource& source, FileSeal& seal) {
    FileSeal made;
    if (!source.Identify(made.device, made.node)) {
        SetLastError(kTrustFileError, "only a file can be sealed");
        return false;
    }
    made.size = source.Size();
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(),
                                                                     EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
        !source.Feed(0, made.size,
                     [&context](const unsigned char* data, size_t size) {
                         return EVP_DigestUpdate(context.get(), data, size) == 1;
                     }) ||
        EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        SetLastError(kTrustFileError, "the file cannot be read to its end");
        return false;
    }
    made.digest.assign(reinterpret_cast<const char*>(digest), length);
    seal = made;
    return true;
}

}  // namespace signedfile

bool SealFile(const std::string& path, FileSeal& seal) {
    const std::unique_ptr<signedfile::ByteSource> source = signedfile::OpenFile(path);
    return source && signedfile::SealSource(*source, seal);
}

}  // namespace platform
