#include "support/CodeSigning.h"

#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace testsupport {

namespace {

// The certificate authority's configuration: a database for `openssl ca`, a policy that keeps
// whatever subject is asked for, and the extensions of each kind of certificate.
const char kCaConfig[] = R"(
[ca]
default_ca = throwaway
[throwaway]
dir = .
database = index.txt
new_certs_dir = issued
serial = serial
default_md = sha256
policy = keep_subject
unique_subject = no
copy_extensions = none
[keep_subject]
countryName = optional
organizationName = optional
organizationalUnitName = optional
commonName = optional
emailAddress = optional
[req]
distinguished_name = empty_dn
[empty_dn]
[authority]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[code_signing_authority]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
[server_authority]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
[code_signing]
basicConstraints = CA:false
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[server_auth]
basicConstraints = CA:false
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
[no_key_usage]
basicConstraints = CA:false
keyUsage = critical,digitalSignature
[key_encipherment]
basicConstraints = CA:false
keyUsage = critical,keyEncipherment
extendedKeyUsage = codeSigning
[time_stamping]
basicConstraints = CA:false
keyUsage = critical,digitalSignature
extendedKeyUsage = critical,timeStamping
)";

// Shell lines that make every key and certificate. `issue NAME KEY SUBJECT CA EXTENSIONS
// START END` makes NAME.pem for the key KEY.key, signed by CA (or self-signed with "self").
const char kMakeScript[] = R"(
set -e
new_ec() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key"; }
issue() {
  openssl req -new -config ca.cnf -key "$2.key" -subj "$3" -out "$1.csr"
  if [ "$4" = self ]; then
    openssl ca -batch -config ca.cnf -selfsign -keyfile "$2.key" -extensions "$5" \
      -startdate "$6" -enddate "$7" -notext -preserveDN -in "$1.csr" -out "$1.pem"
  else
    openssl ca -batch -config ca.cnf -cert "$4.pem" -keyfile "$4.key" -extensions "$5" \
      -startdate "$6" -enddate "$7" -notext -preserveDN -in "$1.csr" -out "$1.pem"
  fi
}
mkdir -p issued; : > index.txt; echo 1000 > serial
new_ec root; new_ec intermediate; new_ec untrusted; new_ec leaf; new_ec tsa; new_ec serverca
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out leaf-rsa.key
long_ago=20180101000000Z; far_ahead=20391231000000Z
issue root root "/CN=Throwaway Test Root" self authority $long_ago $far_ahead
issue untrusted untrusted "/CN=Untrusted Test Root" self authority $long_ago $far_ahead
issue intermediate intermediate "/CN=Throwaway Code Signing CA" root code_signing_authority \
  $long_ago $far_ahead
issue serverca serverca "/CN=Throwaway Server CA" root server_authority $long_ago $far_ahead
issue tsa tsa "/CN=Throwaway Time Stamping" root time_stamping 20190101000000Z $far_ahead
issue llc leaf "/C=US/O=Vomo, LLC/CN=Vomo, LLC" intermediate code_signing $long_ago $far_ahead
issue inc leaf-rsa "/C=US/O=Vomo, Inc./CN=Vomo, Inc." intermediate code_signing $long_ago $far_ahead
issue other leaf "/CN=Other Maker, Ltd." intermediate code_signing $long_ago $far_ahead
issue lower leaf "/CN=vomo, llc" intermediate code_signing $long_ago $far_ahead
issue blank leaf "/CN=Vomo, LLC " intermediate code_signing $long_ago $far_ahead
issue expired leaf "/CN=Vomo, LLC" intermediate code_signing 20200101000000Z 20210101000000Z
issue stray leaf "/CN=Vomo, LLC" untrusted code_signing $long_ago $far_ahead
issue server leaf "/CN=Vomo, LLC" intermediate server_auth $long_ago $far_ahead
issue plain leaf "/CN=Vomo, LLC" intermediate no_key_usage $long_ago $far_ahead
issue org leaf "/C=US/O=Vomo, LLC" intermediate code_signing $long_ago $far_ahead
issue keyenc leaf "/CN=Vomo, LLC" intermediate key_encipherment $long_ago $far_ahead
issue narrow leaf "/CN=Vomo, LLC" serverca code_signing $long_ago $far_ahead
issue direct leaf "/CN=Vomo, LLC" root no_key_usage $long_ago $far_ahead
for name in llc inc other lower blank expired server plain org keyenc; do
  cat $name.pem intermediate.pem > $name-chain.pem
done
cat narrow.pem serverca.pem > narrow-chain.pem
cp stray.pem stray-chain.pem
cp direct.pem direct-chain.pem
cat stray.pem untrusted.pem > rooted-chain.pem
cp root.pem roots.pem
)";

const char* BaseName(Signer signer) {
    switch (signer) {
        case Signer::kVomoLlc:
            return "llc";
        case Signer::kVomoInc:
            return "inc";
        case Signer::kOtherMaker:
            return "other";
        case Signer::kLowerCase:
            return "lower";
        case Signer::kTrailingBlank:
            return "blank";
        case Signer::kExpired:
            return "expired";
        case Signer::kUntrusted:
            return "stray";
        case Signer::kServerAuth:
            return "server";
        case Signer::kNoKeyUsage:
            return "plain";
        case Signer::kOrganization:
            return "org";
        case Signer::kUntrustedRoot:
            return "rooted";
        case Signer::kServerIssuer:
            return "narrow";
        case Signer::kNoDigitalSignature:
            return "keyenc";
        case Signer::kRootNoKeyUsage:
            return "direct";
    }
    return "llc";
}

}  // namespace

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

const CodeSigning& CodeSigning::Instance() {
    static const std::unique_ptr<CodeSigning> instance(new CodeSigning);
    return *instance;
}

namespace {

// Makes the certificates in a fresh directory and moves it to `final`; when another process
// got there first, its directory is used and ours is dropped.
bool MakeInto(const std::string& final) {
    std::string pattern = final + "-XXXXXX";
    if (!::mkdtemp(&pattern[0])) {
        return false;
    }
    const std::string work = pattern;
    const bool made =
        WriteFile(work + "/ca.cnf", kCaConfig) && WriteFile(work + "/make.sh", kMakeScript) &&
        RunCommand("cd " + ShellQuote(work) + " && bash make.sh > make.log 2>&1") == 0;
    if (!made) {
        std::fprintf(stderr, "CodeSigning: making the test certificates failed, see %s/make.log\n",
                     work.c_str());
        return false;
    }
    if (::rename(work.c_str(), final.c_str()) != 0) {
        RunCommand("rm -rf " + ShellQuote(work));
    }
    return ::access((final + "/roots.pem").c_str(), R_OK) == 0;
}

// Beside the test program, named after the script that makes the contents, so that a changed
// script makes new certificates.
std::string CacheDirectory() {
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = "/tmp";
    if (length > 0) {
        self[length] = '\0';
        dir = self;
        dir.erase(dir.rfind('/'));
    }
    const size_t version = std::hash<std::string>()(std::string(kCaConfig) + kMakeScript);
    char name[64];
    std::snprintf(name, sizeof name, "/test-certificates-%016zx", version);
    return dir + name;
}

}  // namespace

CodeSigning::CodeSigning() : dir_(CacheDirectory()) {
    if (::access(File("roots.pem").c_str(), R_OK) != 0 && !MakeInto(dir_)) {
        std::abort();
    }
}

std::string CodeSigning::Chain(Signer signer) const {
    return File(std::string(BaseName(signer)) + "-chain.pem");
}

std::string CodeSigning::Key(Signer signer) const {
    if (signer == Signer::kVomoInc) {
        return File("leaf-rsa.key");
    }
    return File("leaf.key");
}

bool CodeSigning::Sign(Signer signer, const std::string& input, const std::string& output,
                       const std::string& extra) const {
    const std::string command = "osslsigncode sign -h sha256 -certs " + ShellQuote(Chain(signer)) +
                                " -key " + ShellQuote(Key(signer)) + " " + extra + " -in " +
                                ShellQuote(input) + " -out " + ShellQuote(output) +
                                " > /dev/null 2>&1";
    return RunCommand(command) == 0;
}

namespace {

// Signs the Authenticode data that `osslsigncode extract-data` wrote to `data` (a signed message
// with content and no signer yet) with `digest`, into the DER signature `signature`: the
// content type and the message digest of the content octets as authenticated attributes, the
// chain's certificates in the message.
bool SignData(const std::string& data, const std::string& chain, const std::string& keyFile,
              const std::string& digest, const std::string& signature) {
    std::string der;
    FILE* file = std::fopen(keyFile.c_str(), "r");
    EVP_PKEY* key = file ? PEM_read_PrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
    if (file) {
        std::fclose(file);
    }
    std::vector<X509*> certificates;
    file = std::fopen(chain.c_str(), "r");
    while (X509* certificate = file ? PEM_read_X509(file, nullptr, nullptr, nullptr) : nullptr) {
        certificates.push_back(certificate);
    }
    if (file) {
        std::fclose(file);
    }
    const EVP_MD* md = EVP_get_digestbyname(digest.c_str());
    PKCS7* message = nullptr;
    if (ReadFile(data, der) && key && !certificates.empty() && md) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
        message = d2i_PKCS7(nullptr, &p, static_cast<long>(der.size()));
    }
    bool ok = false;
    if (message && PKCS7_type_is_signed(message) && message->d.sign->contents &&
        message->d.sign->contents->d.other->type == V_ASN1_SEQUENCE) {
        const ASN1_STRING* content = message->d.sign->contents->d.other->value.sequence;
        const unsigned char* octets = content->data;
        long length = 0;
        int tag = 0, cls = 0;
        ASN1_get_object(&octets, &length, &tag, &cls, content->length);
        unsigned char hash[EVP_MAX_MD_SIZE];
        unsigned int hashLength = 0;
        EVP_Digest(octets, static_cast<size_t>(length), hash, &hashLength, md, nullptr);
        ASN1_OCTET_STRING* messageDigest = ASN1_OCTET_STRING_new();
        ASN1_OCTET_STRING_set(messageDigest, hash, static_cast<int>(hashLength));
        PKCS7_SIGNER_INFO* signer = PKCS7_add_signature(message, certificates[0], key, md);
        for (X509* certificate : certificates) {
            PKCS7_add_certificate(message, certificate);
        }
        PKCS7_add_signed_attribute(signer, NID_pkcs9_contentType, V_ASN1_OBJECT,
                                   OBJ_txt2obj("1.3.6.1.4.1.311.2.1.4", 1));
        PKCS7_add_signed_attribute(signer, NID_pkcs9_messageDigest, V_ASN1_OCTET_STRING,
                                   messageDigest);
        unsigned char* out = nullptr;
        const int outLength = PKCS7_SIGNER_INFO_sign(signer) == 1 ? i2d_PKCS7(message, &out) : 0;
        ok = outLength > 0 &&
             WriteFile(signature, std::string(reinterpret_cast<char*>(out), outLength));
        OPENSSL_free(out);
    }
    PKCS7_free(message);
    for (X509* certificate : certificates) {
        X509_free(certificate);
    }
    EVP_PKEY_free(key);
    return ok;
}

}  // namespace

bool CodeSigning::SignWithDigests(Signer signer, const std::string& input,
                                  const std::string& output, const std::string& fileDigest,
                                  const std::string& signerDigest) const {
    // The file's digest goes into the data to sign; signing that data here lets the signer's
    // digest differ, and osslsigncode then attaches the signature to the file.
    const std::string data = output + ".data", signature = output + ".sig";
    const std::string quiet = " > /dev/null 2>&1";
    const bool ok =
        RunCommand("osslsigncode extract-data -h " + fileDigest + " -in " + ShellQuote(input) +
                   " -out " + ShellQuote(data) + quiet) == 0 &&
        SignData(data, Chain(signer), Key(signer), signerDigest, signature) &&
        RunCommand("osslsigncode attach-signature -CAfile " + ShellQuote(TrustedRoots()) +
                   " -sigin " + ShellQuote(signature) + " -in " + ShellQuote(input) + " -out " +
                   ShellQuote(output) + quiet) == 0;
    std::remove(data.c_str());
    std::remove(signature.c_str());
    return ok;
}

bool CodeSigning::OsslsigncodeAccepts(const std::string& path) const {
    const std::string roots = ShellQuote(TrustedRoots());
    return RunCommand("osslsigncode verify -CAfile " + roots + " -TSA-CAfile " + roots + " -in " +
                      ShellQuote(path) + " > /dev/null 2>&1") == 0;
}

bool MakeCabinet(const std::string& cabinet,
                 const std::vector<std::pair<std::string, std::string>>& members, bool compress,
                 const std::string& workDir, const std::string& touchTime) {
    std::string names;
    for (const auto& member : members) {
        if (!WriteFile(workDir + "/" + member.first, member.second)) {
            return false;
        }
        if (!touchTime.empty() && RunCommand("touch -d " + ShellQuote(touchTime) + " " +
                                             ShellQuote(workDir + "/" + member.first)) != 0) {
            return false;
        }
        names += " " + ShellQuote(member.first);
    }
    return RunCommand("cd " + ShellQuote(workDir) + " && gcab -c " + (compress ? "-z " : "") +
                      ShellQuote(cabinet) + names + " > /dev/null 2>&1") == 0;
}

namespace {

void Put16(std::string& image, size_t offset, uint16_t value) {
    image[offset] = static_cast<char>(value & 0xFF);
    image[offset + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string& image, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        image[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void Put64(std::string& image, size_t offset, uint64_t value) {
    Put32(image, offset, static_cast<uint32_t>(value));
    Put32(image, offset + 4, static_cast<uint32_t>(value >> 32));
}

}  // namespace

std::string MinimalPeImage(bool pe32Plus) {
    // Headers in the first 0x200 bytes, then one 0x200-byte section of code at RVA 0x1000.
    std::string image(0x400, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    const size_t e = 0x40;
    Put32(image, 0x3C, e);
    image.replace(e, 4, std::string("PE\0\0", 4));
    const size_t coff = e + 4;
    const uint16_t optionalSize = pe32Plus ? 0xF0 : 0xE0;
    Put16(image, coff, pe32Plus ? 0x8664 : 0x014C);    // machine
    Put16(image, coff + 2, 1);                         // sections
    Put16(image, coff + 16, optionalSize);             // optional header size
    Put16(image, coff + 18, pe32Plus ? 0x22 : 0x102);  // executable image
    const size_t o = coff + 20;
    Put16(image, o, pe32Plus ? 0x20B : 0x10B);
    image[o + 2] = 14;             // linker version
    Put32(image, o + 4, 0x200);    // size of code
    Put32(image, o + 16, 0x1000);  // entry point
    Put32(image, o + 20, 0x1000);  // base of code
    size_t windows;                // the Windows-specific fields
    if (pe32Plus) {
        Put64(image, o + 24, 0x140000000ull);
        windows = o + 32;
    } else {
        Put32(image, o + 24, 0x1000);  // base of data
        Put32(image, o + 28, 0x400000);
        windows = o + 32;
    }
    Put32(image, windows, 0x1000);       // section alignment
    Put32(image, windows + 4, 0x200);    // file alignment
    Put16(image, windows + 8, 6);        // operating system version
    Put16(image, windows + 16, 6);       // subsystem version
    Put32(image, windows + 24, 0x2000);  // size of image
    Put32(image, windows + 28, 0x200);   // size of headers
    Put16(image, windows + 36, 3);       // console subsystem
    Put16(image, windows + 38, pe32Plus ? 0x8160 : 0x8140);
    const size_t stacks = windows + 40;  // four stack and heap sizes
    if (pe32Plus) {
        Put64(image, stacks, 0x100000);
        Put64(image, stacks + 8, 0x1000);
        Put64(image, stacks + 16, 0x100000);
        Put64(image, stacks + 24, 0x1000);
        Put32(image, stacks + 36, 16);  // number of data directories
    } else {
        Put32(image, stacks, 0x100000);
        Put32(image, stacks + 4, 0x1000);
        Put32(image, stacks + 8, 0x100000);
        Put32(image, stacks + 12, 0x1000);
        Put32(image, stacks + 20, 16);
    }
    const size_t section = o + optionalSize;
    image.replace(section, 5, ".text");
    Put32(image, section + 8, 0x10);         // virtual size
    Put32(image, section + 12, 0x1000);      // virtual address
    Put32(image, section + 16, 0x200);       // size of raw data
    Put32(image, section + 20, 0x200);       // pointer to raw data
    Put32(image, section + 36, 0x60000020);  // code, executable, readable
    image[0x200] = static_cast<char>(0xC3);  // ret
    return image;
}

}  // namespace testsupport
