// Blocking download of a URL to a local file: http, https and file URLs. libcurl on POSIX; on
// Windows the system's URL monikers (URLDownloadToFileW with a bind-status callback, after the
// URL's entry in the system's URL cache is removed), with the same behaviour below except where
// noted.
//
// Behaviour, chosen to match the platform download the rest of the system was written for:
// - The target file is created by the download itself, exclusively (see TempFile.h): a name
//   that is already taken, by a file or by a link, fails the download and is left untouched.
// - Redirects are followed (at most kDownloadMaxRedirects, to http and https only: a remote
//   server can never send the transfer to a local file). On Windows the system follows them
//   within its own limits.
// - An HTTP answer of 400 or more fails, and so does a final answer that is not 2xx (a
//   redirect that could not be followed): the file would not hold the resource asked for.
// - "Cache-Control: no-cache" (and "Pragma: no-cache" for HTTP/1.0 caches) asks proxies for a
//   fresh copy. There is no local URL cache to clear.
// - A connection that cannot be made within kDownloadConnectTimeoutSeconds, and a transfer that
//   receives no byte for kDownloadStallTimeoutSeconds, are given up.
// - A resource larger than the caller's size cap fails: at once when the server announces its
//   length, otherwise as soon as the bytes received pass the cap.
// - A failed or aborted transfer leaves no file behind: the partial file is removed. (On Windows
//   the name is taken first by creating the file exclusively, and the system writes into it.)
// - A file URL names a local path; characters that a URL cannot carry (blanks, "#", "?", bytes
//   outside ASCII) are taken literally, while "%" followed by two hexadecimal digits is an
//   escape, as the Windows shell reads file URLs.
// - Proxies and certificate authorities come from the environment as curl takes them
//   (http_proxy, https_proxy, all_proxy, no_proxy; CURL_CA_BUNDLE, SSL_CERT_FILE,
//   SSL_CERT_DIR), read with secure_getenv. On Windows the system's own settings hold.
// Failures record the reason (libcurl's text, or the system's) as the thread's last error.
// Progress reports come from libcurl, or from the system's bind-status callback on Windows,
// whose status text is the system's.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Values a user waiting on an installer accepts: half a minute to reach a server, a minute
// without any data before a transfer counts as hung.
const uint32_t kDownloadConnectTimeoutSeconds = 30;
const uint32_t kDownloadStallTimeoutSeconds = 60;
const uint32_t kDownloadMaxRedirects = 10;

// Answers of IDownloadStatusCallback::OnProgress, with the values of the Windows result codes.
const int32_t kProgressContinue = 0;                               // S_OK
const int32_t kProgressAbort = static_cast<int32_t>(0x80004004u);  // E_ABORT

// Receives the progress of a transfer. The download holds a reference (AddRef / Release) for
// as long as it runs; OnProgress is called on the thread that called DownloadUrlToFile, also
// while no data flows (several times a second), so that an answer to stop takes effect soon.
class IDownloadStatusCallback {
public:
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;
    // Bytes so far, total bytes (0 while unknown) and a status text, which may be null. Any
    // answer other than kProgressContinue abandons the transfer, and the download fails.
    virtual int32_t OnProgress(uint64_t progress, uint64_t progressMax, const char* statusText) = 0;

protected:
    ~IDownloadStatusCallback() = default;
};

// Downloads `url` into the new file `path`, refusing a resource of more than `maxBytes` bytes.
// `callback` may be null. True when the whole resource was written to the file.
bool DownloadUrlToFile(const std::string& url, const std::string& path, uint64_t maxBytes,
                       IDownloadStatusCallback* callback);

// Test hook: replaces kDownloadStallTimeoutSeconds by `milliseconds` for every later transfer
// of the process, so that tests of a stalled server finish quickly. 0 restores the product
// value. Never called by the product.
void SetDownloadStallTimeoutForTesting(uint32_t milliseconds);

}  // namespace platform
