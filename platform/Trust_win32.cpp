#include "platform/Trust.h"

// The order matters: wintrust.h and mscat.h need wincrypt.h, which needs windows.h.
#include "platform/WindowsSupport_win32.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "platform/LastError.h"
#include "platform/TempFile.h"

// The system's own Authenticode verification: WinVerifyTrust with the generic verification
// action, no user interface and no revocation checks, judges the file (its format, digest,
// signature, chain, usages and time-stamp as the system's policy has them; the trusted roots are
// the system's). Its answer is passed through unchanged. The signer's simple display name then
// comes from the signature's signer certificate (CryptQueryObject, CryptMsgGetParam,
// CertFindCertificateInStore, CertGetNameStringW). The layout choices of Trust.h that go
// beyond the system's policy belong to the POSIX backend's own reader; VOMO_TRUST_ROOTS has no
// meaning here.
//
// One file, one verdict: while the file is judged and its signer read, this code holds it open
// with others allowed only to read it, so that it can be neither rewritten nor replaced in
// between; the seal asked for is read through that same handle.

namespace platform {

namespace {

uint32_t Judge(const std::wstring& path) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG status = ::WinVerifyTrust(nullptr, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(nullptr, &action, &data);
    return static_cast<uint32_t>(status);
}

std::string CertificateName(PCCERT_CONTEXT certificate) {
    const DWORD length =
        ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (length <= 1) {
        return std::string();
    }
    std::vector<wchar_t> name(length);
    const DWORD written = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0,
                                               nullptr, name.data(), length);
    return written > 1 ? win32::Narrow(name.data(), written - 1) : std::string();
}

// The simple display name of the certificate of the embedded signature's first signer; empty
// when the signature cannot be opened or names no signer it carries.
std::string SignerName(const std::wstring& path) {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    DWORD encoding = 0, content = 0, format = 0;
    if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(),
                            CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                            CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content, &format, &store,
                            &message, nullptr)) {
        win32::RecordLastError("the signature cannot be opened");
        return std::string();
    }
    std::string name;
    DWORD size = 0;
    if (::CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) && size > 0) {
        std::vector<unsigned char> buffer(size);
        if (::CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) {
            const CMSG_SIGNER_INFO* signer = reinterpret_cast<CMSG_SIGNER_INFO*>(buffer.data());
            CERT_INFO wanted = {};
            wanted.Issuer = signer->Issuer;
            wanted.SerialNumber = signer->SerialNumber;
            PCCERT_CONTEXT certificate =
                ::CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                             CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
            if (certificate) {
                name = CertificateName(certificate);
                ::CertFreeCertificateContext(certificate);
            } else {
                win32::RecordLastError("the signer's certificate is not in the signature");
            }
        }
    }
    ::CryptMsgClose(message);
    ::CertCloseStore(store, 0);
    return name;
}

}  // namespace

uint32_t VerifyFileTrust(const std::string& path, std::string* signerName, FileSeal* seal) {
    if (signerName) {
        signerName->clear();
    }
    std::wstring wide;
    if (!win32::WidePath(path, wide)) {
        SetLastError(kTrustFileError, "not a file name: " + path);
        return kTrustFileError;
    }
    win32::Handle held(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held.Valid()) {
        win32::RecordLastError("cannot open " + path);
        SetLastError(kTrustFileError, GetLastErrorText());
        return kTrustFileError;
    }
    const uint32_t status = Judge(wide);
    if (status != kTrustOk) {
        const std::string reason = win32::SystemMessage(status);
        SetLastError(status, path + ": " + (reason.empty() ? "not trusted" : reason));
        return status;
    }
    if (signerName) {
        *signerName = SignerName(wide);
    }
    // The handle held since before the check: the seal is of the bytes that were judged.
    if (seal && !win32::SealHandle(held.Get(), *seal)) {
        if (signerName) {
            signerName->clear();
        }
        return kTrustFileError;
    }
    ClearLastError();
    return kTrustOk;
}

// The system judges files: the bytes go to a file of their own in a private folder first.
uint32_t VerifyBufferTrust(const void* data, size_t size, std::string* signerName) {
    if (signerName) {
        signerName->clear();
    }
    std::string folder;
    if (!MakePrivateDirectory("vomo-trust-", folder)) {
        return kTrustFileError;
    }
    const std::string path = folder + "\\subject";
    uint32_t status = kTrustFileError;
    {
        ExclusiveFile file;
        if (file.Create(path) && file.Write(data, size) && file.Close()) {
            status = VerifyFileTrust(path, signerName);
        }
    }
    RemovePrivateDirectory(folder);
    return status;
}

std::string CertificateSimpleDisplayName(const std::string& der) {
    PCCERT_CONTEXT certificate =
        ::CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                       static_cast<DWORD>(der.size()));
    if (!certificate) {
        return std::string();
    }
    const std::string name = CertificateName(certificate);
    ::CertFreeCertificateContext(certificate);
    return name;
}

}  // namespace platform
