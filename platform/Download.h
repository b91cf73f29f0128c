// Blocking download of a URL to a local file: http, https and file URLs. libcurl on POSIX; on
// Windows the system's URL monikers (URLDownloadToFileW with a bind-status callback, after the
// URL's entry in the system's URL cache is removed), with the same behaviour below except where
// noted.
//
// Behaviour, chosen to match the platform download the rest of the system was written for:
// - The target file is created by the download itself, exclusively (see TempFile.h): a name
//   that is already taken, by a file or by a link, fails the download and is left untouched.
// - Redirects are followed (at most kDownloadMaxRedirects, to http and https only: a remote
//   server can never send the transfer to a local file), but never from https to http: what
//   was asked for over a protected connection is not fetched over an open one. On Windows the
//   system follows them within its own limits, and the download refuses one to http that the
//   system reports.
// - An HTTP answer of 400 or more fails, and so does a final answer that is not 2xx (a
//   redirect that could not be followed): the file would not hold the resource asked for.
// - "Cache-Control: no-cache" (and "Pragma: no-cache" for HTTP/1.0 caches) asks proxies for a
//   fresh copy. There is no local URL cache to clear.
// - A connection that cannot be made within kDownloadConnectTimeoutSeconds, and a transfer that
//   receives no byte for kDownloadStallTimeoutSeconds, are given up.
// - A resource larger than the caller's size cap fails: at once when the server announces its
//   length, otherwise as soon as the bytes received pass the cap.
// - A bad network is tried again: an http or https transfer that breaks off (the connection
//   reset or closed early, a time-out, a stall, an answer of 500 or more) is tried up
//   to kDownloadAttempts times in all, waiting kDownloadFirstRetryDelayMilliseconds before the
//   second try and twice as long before each later one. A later try asks only for the bytes
//   still missing (an HTTP Range request, with If-Range naming the first answer's ETag or date,
//   so that a resource changed meanwhile comes whole); a server that answers it with the whole
//   resource (200) is read from the start again, the file emptied first. The checks of the
//   file's signature and digest afterwards judge the whole file, however it was put together.
//   An answer below 500 (404, 403), a connection refused (no server there), a name that does
//   not resolve, a full disk, a refused redirect and a stop asked by the caller are final. (On
//   Windows a later try reads the whole resource again.)
// - Interrupted runs (platform/Interrupt.h) end the transfer at its next progress report.
// - A failed or aborted transfer leaves no file behind: the partial file is removed. (On Windows
//   the name is taken first by creating the file exclusively, and the system writes into it.)
// - A file URL names a local path; characters that a URL cannot carry (blanks, "#", "?", bytes
//   outside ASCII) are taken literally, while "%" followed by two hexadecimal digits is an
//   escape, as the Windows shell reads file URLs.
// - Proxies and certificate authorities come from the environment as curl takes them
//   (http_proxy, https_proxy, all_proxy, no_proxy; CURL_CA_BUNDLE, SSL_CERT_FILE,
//   SSL_CERT_DIR), read with secure_getenv. On Windows the system's own settings hold.
// Failures record the reason as the thread's last error, in words that name the cause: "the
// server answered with HTTP status 404", "connection closed after N of M bytes", "no space left
// on device", "name not resolved: HOST", "time-out after N s", "interrupted by signal N", and
// after more than one try " (tried N times)"; otherwise libcurl's text, or the system's.
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
// A transfer that breaks off is tried this many times in all, the waits between the tries
// doubling from the first: 1 s, then 2 s.
const uint32_t kDownloadAttempts = 3;
const uint32_t kDownloadFirstRetryDelayMilliseconds = 1000;

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

// Test hook: replaces kDownloadFirstRetryDelayMilliseconds for every later transfer of the
// process; 0 restores the product value. Never called by the product.
void SetDownloadRetryDelayForTesting(uint32_t milliseconds);

}  // namespace platform
