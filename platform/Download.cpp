#include "platform/Download.h"

#include <curl/curl.h>
#include <sys/auxv.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "platform/LastError.h"
#include "platform/TempFile.h"

namespace platform {

namespace {

typedef std::chrono::steady_clock SteadyClock;

// How long one wait for network activity may last. Between waits the transfer reports
// progress and checks for a stall, so this bounds how late an abort takes effect.
const long kPollMilliseconds = 100;
// libcurl's receive buffer; larger buffers mean fewer writes and progress calls.
const long kReceiveBufferBytes = 256 * 1024;
// Error codes recorded for failures that are ours rather than libcurl's.
const uint32_t kErrorInitialise = 0x10000;
const uint32_t kErrorStalled = 0x10001;
const uint32_t kErrorStatus = 0x10002;
const uint32_t kErrorTooLarge = 0x10003;

std::atomic<uint32_t> stallOverrideMilliseconds(0);

std::chrono::milliseconds StallLimit() {
    const uint32_t overridden = stallOverrideMilliseconds.load();
    if (overridden != 0) {
        return std::chrono::milliseconds(overridden);
    }
    return std::chrono::seconds(kDownloadStallTimeoutSeconds);
}

bool InitialiseCurl() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// libcurl refuses blanks in a URL and reads "#" and "?" as the start of a fragment or query;
// in a file URL they belong to the file name and are escaped. A "%" that starts an escape
// stays one.
std::string EscapeFileUrl(const std::string& url) {
    static const char kScheme[] = "file://";
    const size_t schemeLength = sizeof kScheme - 1;
    if (url.size() < schemeLength || curl_strnequal(url.c_str(), kScheme, schemeLength) == 0) {
        return url;
    }
    static const char kUnsafe[] = " \"#<>?\\^`{|}";
    std::string escaped = url.substr(0, schemeLength);
    for (size_t i = schemeLength; i < url.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        const bool isEscape =
            c == '%' && i + 2 < url.size() && IsHexDigit(url[i + 1]) && IsHexDigit(url[i + 2]);
        const bool unsafe = c <= 0x20 || c >= 0x7f || (c == '%' && !isEscape) ||
                            std::string(kUnsafe).find(static_cast<char>(c)) != std::string::npos;
        if (unsafe) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            escaped += hex;
        } else {
            escaped += static_cast<char>(c);
        }
    }
    return escaped;
}

// State of one transfer, shared by libcurl's write and progress functions.
struct Transfer {
    ExclusiveFile file;
    IDownloadStatusCallback* callback = nullptr;
    std::string statusText;
    uint64_t written = 0;
    uint64_t maxBytes = 0;
    curl_off_t received = 0;
    SteadyClock::time_point lastActivity;
    std::chrono::milliseconds stallLimit{0};
    bool reported = false;
    uint64_t reportedProgress = 0;
    uint64_t reportedMax = 0;
    bool writeFailed = false;
    bool tooLarge = false;
    bool stalled = false;
    bool aborted = false;

    bool Report(uint64_t progress, uint64_t progressMax) {
        reported = true;
        reportedProgress = progress;
        reportedMax = progressMax;
        if (callback &&
            callback->OnProgress(progress, progressMax, statusText.c_str()) != kProgressContinue) {
            aborted = true;
            return false;
        }
        return true;
    }
};

size_t WriteData(char* data, size_t size, size_t count, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    const size_t length = size * count;
    if (length > transfer.maxBytes - transfer.written) {
        transfer.tooLarge = true;  // past the cap: not a byte of this block reaches the file
        return 0;
    }
    if (!transfer.file.Write(data, length)) {
        transfer.writeFailed = true;
        return 0;  // anything short of `length` ends the transfer
    }
    transfer.written += length;
    transfer.lastActivity = SteadyClock::now();
    return length;
}

int OnCurlProgress(void* context, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t,
                   curl_off_t) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    const SteadyClock::time_point now = SteadyClock::now();
    if (downloadNow != transfer.received) {
        transfer.received = downloadNow;
        transfer.lastActivity = now;
    }
    if (now - transfer.lastActivity >= transfer.stallLimit) {
        transfer.stalled = true;
        return 1;
    }
    // The bytes in the file, rather than libcurl's count, so that progress never falls back
    // when a redirect starts a new request.
    const uint64_t total = downloadTotal > 0 ? static_cast<uint64_t>(downloadTotal) : 0;
    return transfer.Report(transfer.written, total) ? 0 : 1;
}

void RecordCurlError(CURLcode code, const char* detail) {
    SetLastError(static_cast<uint32_t>(code),
                 detail && *detail ? std::string(detail) : curl_easy_strerror(code));
}

// The settings of the network that a user gives in the environment, as curl takes them:
// - Proxies: libcurl reads http_proxy, https_proxy, all_proxy and no_proxy itself (and their
//   upper-case forms, but for HTTP_PROXY, which a web server's CGI environment could set), for
//   each connection, redirects included. A setuid or setcap process (secure execution) takes
//   nothing from its environment: it connects directly.
// - Certificate authorities for https: CURL_CA_BUNDLE names a PEM file; else SSL_CERT_FILE a
//   PEM file and SSL_CERT_DIR a folder of hashed certificates. Either replaces the system's
//   store, as it does for curl.
// Every variable is read with secure_getenv.
void ApplyNetworkSettings(CURL* easy) {
    if (::getauxval(AT_SECURE) != 0) {
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
    }
    const char* bundle = ::secure_getenv("CURL_CA_BUNDLE");
    if (bundle && *bundle) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, bundle);
        return;
    }
    const char* file = ::secure_getenv("SSL_CERT_FILE");
    if (file && *file) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, file);
    }
    const char* folder = ::secure_getenv("SSL_CERT_DIR");
    if (folder && *folder) {
        curl_easy_setopt(easy, CURLOPT_CAPATH, folder);
    }
}

// Runs the configured transfer to its end. The multi interface lets the loop wake at least
// every kPollMilliseconds, so progress (and with it a stall or an abort) is seen even while no
// data arrives.
CURLcode Perform(CURL* easy, std::string& multiError) {
    CURLM* multi = curl_multi_init();
    if (!multi) {
        multiError = "cannot create a transfer";
        return CURLE_FAILED_INIT;
    }
    CURLcode result = CURLE_FAILED_INIT;
    CURLMcode status = curl_multi_add_handle(multi, easy);
    int running = 1;
    while (status == CURLM_OK) {
        status = curl_multi_perform(multi, &running);
        if (status != CURLM_OK || running == 0) {
            break;
        }
        status = curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
    }
    if (status != CURLM_OK) {
        multiError = curl_multi_strerror(status);
    } else {
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                result = message->data.result;
            }
        }
    }
    curl_multi_remove_handle(multi, easy);
    curl_multi_cleanup(multi);
    return result;
}

// Configures the transfer and runs it; true when the whole resource reached the file.
bool Transmit(const std::string& url, Transfer& transfer) {
    CURL* easy = curl_easy_init();
    if (!easy) {
        SetLastError(kErrorInitialise, "cannot create a transfer");
        return false;
    }
    char errorText[CURL_ERROR_SIZE] = {0};
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");

    const std::string escapedUrl = EscapeFileUrl(url);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_URL, escapedUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,file");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(kDownloadMaxRedirects));
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Vomo-Component-Manager");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT,
                     static_cast<long>(kDownloadConnectTimeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    // Refuses an announced length over the cap before any byte is written; WriteData catches
    // a resource whose length was not announced.
    const uint64_t largestOffset = static_cast<uint64_t>(std::numeric_limits<curl_off_t>::max());
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min(transfer.maxBytes, largestOffset)));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, OnCurlProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    ApplyNetworkSettings(easy);

    transfer.lastActivity = SteadyClock::now();
    std::string multiError;
    const CURLcode result = Perform(easy, multiError);

    bool succeeded = result == CURLE_OK;
    if (!succeeded) {
        if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
            SetLastError(kErrorTooLarge, "the resource is larger than " +
                                             std::to_string(transfer.maxBytes) + " bytes");
        } else if (transfer.stalled) {
            SetLastError(kErrorStalled, "no data received for " +
                                            std::to_string(transfer.stallLimit.count()) + " ms");
        } else if (!multiError.empty()) {
            SetLastError(kErrorInitialise, multiError);
        } else if (!transfer.writeFailed) {
            RecordCurlError(result, errorText);  // a failed write recorded the system's reason
        }
    } else {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (status != 0 && (status < 200 || status >= 300)) {
            SetLastError(kErrorStatus, "the server answered with status " + std::to_string(status));
            succeeded = false;
        }
    }
    if (succeeded) {
        // The last report shows the transfer complete, whatever libcurl reported last.
        curl_off_t length = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        const uint64_t total = length >= 0 ? static_cast<uint64_t>(length) : transfer.written;
        if (!transfer.reported || transfer.reportedProgress != transfer.written ||
            transfer.reportedMax != total) {
            if (!transfer.Report(transfer.written, total)) {
                RecordCurlError(CURLE_ABORTED_BY_CALLBACK, nullptr);
                succeeded = false;
            }
        }
    }
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    return succeeded;
}

}  // namespace

bool DownloadUrlToFile(const std::string& url, const std::string& path, uint64_t maxBytes,
                       IDownloadStatusCallback* callback) {
    if (!InitialiseCurl()) {
        SetLastError(kErrorInitialise, "the transfer library could not be initialised");
        return false;
    }
    Transfer transfer;
    if (!transfer.file.Create(path)) {
        return false;
    }
    transfer.callback = callback;
    transfer.maxBytes = maxBytes;
    transfer.statusText = url;
    transfer.stallLimit = StallLimit();
    if (callback) {
        callback->AddRef();
    }
    bool succeeded = Transmit(url, transfer);
    if (callback) {
        callback->Release();
    }
    if (succeeded && !transfer.file.Close()) {
        succeeded = false;
    }
    if (!succeeded) {
        transfer.file.Discard();
    }
    return succeeded;
}

void SetDownloadStallTimeoutForTesting(uint32_t milliseconds) {
    stallOverrideMilliseconds.store(milliseconds);
}

}  // namespace platform
