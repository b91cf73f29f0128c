#include "platform/Download.h"

#include <curl/curl.h>
#include <sys/auxv.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/DownloadTimes.h"
#include "platform/Interrupt.h"
#include "platform/LastError.h"
#include "platform/TempFile.h"

// One download is a series of tries (Attempt) of one transfer each, configured in one place
// (Configure) and run by libcurl's multi interface (Perform); what a try ended with is read by
// Judge, which words the reason and decides whether another try may help.

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
const uint32_t kErrorClosed = 0x10004;
const uint32_t kErrorRedirect = 0x10005;
const uint32_t kErrorCancelled = 0x10006;
const uint32_t kErrorInterrupted = 0x10007;
const uint32_t kErrorRange = 0x10008;

bool InitialiseCurl() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return text.size() >= length && curl_strnequal(text.c_str(), prefix, length) != 0;
}

// libcurl refuses blanks in a URL and reads "#" and "?" as the start of a fragment or query;
// in a file URL they belong to the file name and are escaped. A "%" that starts an escape
// stays one.
std::string EscapeFileUrl(const std::string& url) {
    static const char kScheme[] = "file://";
    const size_t schemeLength = sizeof kScheme - 1;
    if (!StartsWithNoCase(url, kScheme)) {
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

// State of one download, kept across its tries, shared by libcurl's callbacks.
struct Transfer {
    ExclusiveFile file;
    IDownloadStatusCallback* callback = nullptr;
    std::string url;
    std::string statusText;
    uint64_t maxBytes = 0;
    uint64_t written = 0;  // bytes in the file
    uint64_t total = 0;    // the whole resource's length once an answer told it; 0 unknown
    // What identifies the resource of the first whole answer, for If-Range: a strong ETag, or
    // else its Last-Modified date; empty when it had neither.
    std::string validator;
    bool reported = false;
    uint64_t reportedProgress = 0;
    uint64_t reportedMax = 0;

    // This try.
    uint64_t rangeFrom = 0;   // the first byte asked for (0: the whole resource)
    bool answerSeen = false;  // the body's first bytes came, and the answer was looked at
    std::string etag;         // headers of the latest answer
    std::string lastModified;
    std::string contentRange;
    std::string insecureRedirect;  // a redirect from https to http that was refused
    curl_off_t received = 0;
    SteadyClock::time_point lastActivity;
    std::chrono::milliseconds stallLimit{0};
    int writeError = 0;  // errno of a failed write
    bool tooLarge = false;
    bool stalled = false;
    bool aborted = false;       // the caller's observer asked to stop
    int interrupted = 0;        // the signal that interrupted the runs
    bool rangeRefused = false;  // a partial answer that does not start where asked

    void StartTry(uint64_t from) {
        rangeFrom = from;
        answerSeen = false;
        etag.clear();
        lastModified.clear();
        contentRange.clear();
        insecureRedirect.clear();
        received = 0;
        lastActivity = SteadyClock::now();
        writeError = 0;
        stalled = false;
        rangeRefused = false;
    }

    // Tells the observer; false when the transfer is to stop (the observer said so, or the
    // runs were interrupted).
    bool Report(uint64_t progress, uint64_t progressMax) {
        if (const int signal = InterruptSignal()) {
            interrupted = signal;
            return false;
        }
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

// The value of header `name` in the line `line` ("Name: value\r\n"), or false.
bool HeaderValue(const std::string& line, const char* name, std::string& value) {
    const size_t length = std::strlen(name);
    if (line.size() <= length || line[length] != ':' || !StartsWithNoCase(line, name)) {
        return false;
    }
    const size_t start = line.find_first_not_of(" \t", length + 1);
    const size_t end = line.find_last_not_of("\r\n \t");
    value = start == std::string::npos || end < start ? std::string()
                                                      : line.substr(start, end - start + 1);
    return true;
}

size_t OnHeader(char* data, size_t size, size_t count, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    const size_t length = size * count;
    const std::string line(data, length);
    if (StartsWithNoCase(line, "HTTP/")) {  // a new answer: a redirect's, or the final one
        transfer.etag.clear();
        transfer.lastModified.clear();
        transfer.contentRange.clear();
        return length;
    }
    std::string value;
    if (HeaderValue(line, "ETag", value)) {
        transfer.etag = value;
    } else if (HeaderValue(line, "Last-Modified", value)) {
        transfer.lastModified = value;
    } else if (HeaderValue(line, "Content-Range", value)) {
        transfer.contentRange = value;
    } else if (HeaderValue(line, "Location", value) && StartsWithNoCase(value, "http:")) {
        // libcurl's redirect protocols keep a redirect on https when the transfer started
        // there; seen here, the refusal can name what was refused.
        if (StartsWithNoCase(transfer.url, "https:")) {
            transfer.insecureRedirect = value;
            return 0;  // ends the transfer
        }
    }
    return length;
}

// The first bytes of a try's body: whether they continue the file, or replace it.
bool TakeAnswer(Transfer& transfer, CURL* easy) {
    transfer.answerSeen = true;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t length = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (transfer.rangeFrom > 0 && status == 206) {
        // "bytes FIRST-LAST/TOTAL": the part must start where the file ends.
        unsigned long long first = 0, last = 0;
        char totalText[32] = {0};
        if (std::sscanf(transfer.contentRange.c_str(), "bytes %llu-%llu/%31s", &first, &last,
                        totalText) < 2 ||
            first != transfer.rangeFrom) {
            transfer.rangeRefused = true;
            return false;
        }
        const unsigned long long total = std::strtoull(totalText, nullptr, 10);
        if (total > last) {
            transfer.total = total;
        }
        return true;
    }
    if (transfer.rangeFrom > 0 || transfer.written > 0) {
        // The whole resource after all: it starts the file again.
        if (!transfer.file.Truncate()) {
            transfer.writeError = errno ? errno : EIO;
            return false;
        }
        transfer.written = 0;
    }
    transfer.total = length >= 0 ? static_cast<uint64_t>(length) : 0;
    if (!transfer.etag.empty() && !StartsWithNoCase(transfer.etag, "W/")) {
        transfer.validator = transfer.etag;  // a weak ETag may not name a range's resource
    } else {
        transfer.validator = transfer.lastModified;
    }
    return true;
}

size_t WriteData(char* data, size_t size, size_t count, void* context) {
    void** pair = static_cast<void**>(context);
    Transfer& transfer = *static_cast<Transfer*>(pair[0]);
    CURL* easy = pair[1];
    const size_t length = size * count;
    if (!transfer.answerSeen && !TakeAnswer(transfer, easy)) {
        return 0;
    }
    if (length > transfer.maxBytes - transfer.written) {
        transfer.tooLarge = true;  // past the cap: not a byte of this block reaches the file
        return 0;
    }
    errno = 0;
    if (!transfer.file.Write(data, length)) {
        transfer.writeError = errno ? errno : EIO;
        return 0;  // anything short of `length` ends the transfer
    }
    transfer.written += length;
    transfer.lastActivity = SteadyClock::now();
    return length;
}

int OnCurlProgress(void* context, curl_off_t, curl_off_t downloadNow, curl_off_t, curl_off_t) {
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
    // The bytes in the file, rather than libcurl's count, so that progress goes on from where
    // an earlier try ended.
    return transfer.Report(transfer.written, transfer.total) ? 0 : 1;
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

// Every option of a try, in one place.
void Configure(CURL* easy, const std::string& escapedUrl, Transfer& transfer, curl_slist* headers,
               const std::string& range, char* errorText, void** writeContext) {
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_URL, escapedUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,file");
    // From https, only to https.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                     StartsWithNoCase(transfer.url, "https:") ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(kDownloadMaxRedirects));
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Vomo-Component-Manager");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT,
                     static_cast<long>(kDownloadConnectTimeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    if (!range.empty()) {
        curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
    }
    // Refuses an announced length over the cap before any byte is written; WriteData catches
    // a resource whose length was not announced, and the rest of one resumed.
    const uint64_t largestOffset = static_cast<uint64_t>(std::numeric_limits<curl_off_t>::max());
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min(transfer.maxBytes, largestOffset)));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, writeContext);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, OnCurlProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    ApplyNetworkSettings(easy);
}

// How a try ended.
struct Verdict {
    bool succeeded = false;
    bool retry = false;  // another try may succeed
    uint32_t code = 0;
    std::string reason;
};

std::string HostOf(const std::string& url) {
    const size_t start = url.find("://");
    if (start == std::string::npos) {
        return url;
    }
    const size_t end = url.find_first_of(":/?#", start + 3);
    return url.substr(start + 3, end == std::string::npos ? end : end - start - 3);
}

std::string ClosedEarly(const Transfer& transfer) {
    return "connection closed after " + std::to_string(transfer.written) +
           (transfer.total > 0 ? " of " + std::to_string(transfer.total) : std::string()) +
           " bytes";
}

Verdict Judge(CURL* easy, CURLcode result, const Transfer& transfer, const char* errorText,
              const std::string& multiError) {
    Verdict verdict;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    const auto fail = [&verdict](bool retry, uint32_t code, const std::string& reason) {
        verdict.retry = retry;
        verdict.code = code;
        verdict.reason = reason;
        return verdict;
    };
    if (transfer.interrupted != 0) {
        return fail(false, kErrorInterrupted,
                    "interrupted by signal " + std::to_string(transfer.interrupted));
    }
    if (transfer.aborted) {
        return fail(false, kErrorCancelled, "the transfer was stopped");
    }
    if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        return fail(false, kErrorTooLarge,
                    "the resource is larger than " + std::to_string(transfer.maxBytes) + " bytes");
    }
    if (transfer.writeError != 0) {
        const int code = transfer.writeError;
        return fail(false, static_cast<uint32_t>(code),
                    code == ENOSPC
                        ? std::string("no space left on device")
                        : "cannot write the file: " + std::generic_category().message(code));
    }
    if (!transfer.insecureRedirect.empty()) {
        return fail(
            false, kErrorRedirect,
            "a redirect from https to http was refused (" + transfer.insecureRedirect + ")");
    }
    if (transfer.rangeRefused) {
        return fail(true, kErrorRange, "the server answered a range request with another part");
    }
    if (transfer.stalled) {
        return fail(true, kErrorStalled,
                    "time-out after " + DurationText(transfer.stallLimit) + " without data");
    }
    if (!multiError.empty()) {
        return fail(false, kErrorInitialise, multiError);
    }
    const std::string curlText = errorText && *errorText ? errorText : curl_easy_strerror(result);
    switch (result) {
        case CURLE_OK:
            if (status != 0 && (status < 200 || status >= 300)) {
                return fail(false, kErrorStatus,
                            "the server answered with HTTP status " + std::to_string(status));
            }
            verdict.succeeded = true;
            return verdict;
        case CURLE_HTTP_RETURNED_ERROR:
            // A range past the end means the file is not the resource's beginning after all.
            return fail(status >= 500 || (status == 416 && transfer.rangeFrom > 0), kErrorStatus,
                        "the server answered with HTTP status " + std::to_string(status));
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
            return fail(true, kErrorClosed, ClosedEarly(transfer));
        case CURLE_OPERATION_TIMEDOUT:
            return fail(true, static_cast<uint32_t>(result),
                        "time-out after " +
                            DurationText(std::chrono::seconds(kDownloadConnectTimeoutSeconds)) +
                            ": " + curlText);
        case CURLE_SSL_CONNECT_ERROR:
            return fail(true, static_cast<uint32_t>(result), curlText);
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return fail(false, static_cast<uint32_t>(result),
                        "name not resolved: " + HostOf(transfer.url));
        case CURLE_UNSUPPORTED_PROTOCOL: {
            char* next = nullptr;
            curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &next);
            if (next && *next) {
                return fail(false, kErrorRedirect,
                            std::string("a redirect to ") + next + " was refused");
            }
            return fail(false, static_cast<uint32_t>(result), curlText);
        }
        default:
            return fail(false, static_cast<uint32_t>(result), curlText);
    }
}

// One try of the transfer, from the bytes already in the file when the server is known to be
// able to continue them.
Verdict Attempt(Transfer& transfer) {
    Verdict verdict;
    CURL* easy = curl_easy_init();
    if (!easy) {
        verdict.code = kErrorInitialise;
        verdict.reason = "cannot create a transfer";
        return verdict;
    }
    // The bytes already in the file are kept when the server sends the rest; If-Range makes
    // it send the whole resource instead when that changed since the first answer.
    const bool resume = transfer.written > 0;
    transfer.StartTry(resume ? transfer.written : 0);
    char errorText[CURL_ERROR_SIZE] = {0};
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    std::string range;
    if (resume) {
        range = std::to_string(transfer.written) + "-";
        if (!transfer.validator.empty()) {
            headers = curl_slist_append(headers, ("If-Range: " + transfer.validator).c_str());
        }
    }
    const std::string escapedUrl = EscapeFileUrl(transfer.url);
    void* writeContext[2] = {&transfer, easy};
    Configure(easy, escapedUrl, transfer, headers, range, errorText, writeContext);

    std::string multiError;
    const CURLcode result = Perform(easy, multiError);
    verdict = Judge(easy, result, transfer, errorText, multiError);
    if (verdict.succeeded) {
        // The last report shows the transfer complete, whatever libcurl reported last.
        const uint64_t total = transfer.total > 0 ? transfer.total : transfer.written;
        if (!transfer.reported || transfer.reportedProgress != transfer.written ||
            transfer.reportedMax != total) {
            if (!transfer.Report(transfer.written, total)) {
                verdict = Judge(easy, CURLE_ABORTED_BY_CALLBACK, transfer, nullptr, multiError);
            }
        }
    }
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    return verdict;
}

// Waits `delay` before another try, telling the observer meanwhile, so that a stop or an
// interrupt still takes effect at once. False when the download is to stop.
bool WaitBeforeRetry(Transfer& transfer, std::chrono::milliseconds delay) {
    const SteadyClock::time_point end = SteadyClock::now() + delay;
    while (SteadyClock::now() < end) {
        if (!transfer.Report(transfer.written, transfer.total)) {
            return false;
        }
        std::this_thread::sleep_for(std::min(
            std::chrono::milliseconds(kPollMilliseconds),
            std::chrono::duration_cast<std::chrono::milliseconds>(end - SteadyClock::now() +
                                                                  std::chrono::milliseconds(1))));
    }
    return true;
}

bool IsNetworkUrl(const std::string& url) {
    return StartsWithNoCase(url, "http:") || StartsWithNoCase(url, "https:");
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
    transfer.url = url;
    transfer.statusText = url;
    transfer.stallLimit = DownloadStallLimit();
    if (callback) {
        callback->AddRef();
    }
    const uint32_t attempts = IsNetworkUrl(url) ? kDownloadAttempts : 1;
    std::chrono::milliseconds delay = DownloadFirstRetryDelay();
    Verdict verdict;
    uint32_t tried = 0;
    while (true) {
        verdict = Attempt(transfer);
        ++tried;
        if (verdict.succeeded || !verdict.retry || tried >= attempts) {
            break;
        }
        if (!WaitBeforeRetry(transfer, delay)) {
            verdict = Verdict();
            verdict.code = transfer.interrupted ? kErrorInterrupted : kErrorCancelled;
            verdict.reason = transfer.interrupted
                                 ? "interrupted by signal " + std::to_string(transfer.interrupted)
                                 : "the transfer was stopped";
            break;
        }
        delay *= 2;
    }
    if (callback) {
        callback->Release();
    }
    bool succeeded = verdict.succeeded;
    if (succeeded && !transfer.file.Close()) {
        succeeded = false;  // Close recorded the reason
    } else if (!succeeded) {
        SetLastError(verdict.code,
                     tried > 1 ? verdict.reason + " (tried " + std::to_string(tried) + " times)"
                               : verdict.reason);
    }
    if (!succeeded) {
        transfer.file.Discard();
    }
    return succeeded;
}

}  // namespace platform
