#include "platform/Download.h"

#include "platform/WindowsSupport_win32.h"

#include <urlmon.h>
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/DownloadTimes.h"
#include "platform/Interrupt.h"
#include "platform/LastError.h"
#include "platform/TempFile.h"

// Downloads through the system's URL monikers: URLDownloadToFileW with a bind-status callback,
// after the URL's entry in the system's URL cache is removed (DeleteUrlCacheEntryW) so that the
// file is fetched afresh. Choices beyond Download.h's:
// - The target name is taken first, by creating the file exclusively, and the download then
//   writes into that file of ours; a failed download removes it.
// - The callback asks for the newest version without any user interface (bind flags 0x1A13) and
//   adds "Cache-Control: no-cache" and "Pragma: no-cache" to HTTP requests; it reads the HTTP
//   status of the final answer and fails the transfer unless it is 2xx.
// - Redirects are followed by the system, within its own limits.
// - A watchdog ends a transfer through its binding when no byte arrived for the stall time-out
//   (the connection's wait counts too, so that a server that never answers is given up).
// - A file URL ("file://" and a path) reaches the system as "file:///" and the path with "/"
//   separators; blanks, "#", "?" and bytes outside ASCII are escaped, and a "%" followed by two
//   hexadecimal digits stays an escape.
// - A redirect the system reports (BINDSTATUS_REDIRECTING) from an https address to an http one
//   ends the transfer.
// - A try that may succeed again (a stall, an answer of 500 or more, a connection that timed
//   out or broke off) is followed by another, from the start: the system's monikers cannot ask
//   for the rest of a file.

namespace platform {

namespace {

typedef std::chrono::steady_clock SteadyClock;

// Answers of the bind-status callback for failures of ours.
const uint32_t kErrorStalled = 0x10001;
const uint32_t kErrorStatus = 0x10002;
const uint32_t kErrorTooLarge = 0x10003;
const uint32_t kErrorRedirect = 0x10005;
const uint32_t kErrorInterrupted = 0x10007;
const DWORD kBindFlags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_GETNEWESTVERSION |
                         BINDF_RESYNCHRONIZE | BINDF_NO_UI | BINDF_SILENTOPERATION;
const wchar_t kNoCacheHeaders[] = L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return text.size() >= length && ::_strnicmp(text.c_str(), prefix, length) == 0;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The form of a URL the system's monikers read: a file URL as described above, anything else
// as it is.
std::string SystemUrl(const std::string& url) {
    static const char kScheme[] = "file://";
    const size_t schemeLength = sizeof kScheme - 1;
    if (url.compare(0, schemeLength, kScheme) != 0) {
        return url;
    }
    static const char kUnsafe[] = " \"#<>?^`{|}";
    std::string path = url.substr(schemeLength);
    while (!path.empty() && (path[0] == '/' || path[0] == '\\')) {
        path.erase(0, 1);
    }
    std::string escaped = "file:///";
    for (size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        const bool isEscape =
            c == '%' && i + 2 < path.size() && IsHexDigit(path[i + 1]) && IsHexDigit(path[i + 2]);
        const bool unsafe = c <= 0x20 || c >= 0x7f || (c == '%' && !isEscape) ||
                            std::string(kUnsafe).find(static_cast<char>(c)) != std::string::npos;
        if (c == '\\') {
            escaped += '/';
        } else if (unsafe) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            escaped += hex;
        } else {
            escaped += static_cast<char>(c);
        }
    }
    return escaped;
}

// The bind-status callback the system drives. Its reference count starts at 1 (the download's
// own reference) and it is freed when the count reaches 0.
class Binder final : public IBindStatusCallback, public IHttpNegotiate {
public:
    Binder(IDownloadStatusCallback* callback, uint64_t maxBytes,
           std::chrono::milliseconds stallLimit, bool fromHttps)
        : callback_(callback),
          maxBytes_(maxBytes),
          stallLimit_(stallLimit),
          fromHttps_(fromHttps),
          lastActivity_(SteadyClock::now()) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IBindStatusCallback)) {
            *object = static_cast<IBindStatusCallback*>(this);
        } else if (IsEqualIID(id, IID_IHttpNegotiate)) {
            *object = static_cast<IHttpNegotiate*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IBindStatusCallback
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* binding) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (binding_) {
            binding_->Release();
        }
        binding_ = binding;
        if (binding_) {
            binding_->AddRef();
        }
        lastActivity_ = SteadyClock::now();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR statusText) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (progress != lastProgress_) {
                lastProgress_ = progress;
                lastActivity_ = SteadyClock::now();
            }
            if (stopped_) {
                return E_ABORT;
            }
            if (statusCode == BINDSTATUS_REDIRECTING && fromHttps_ && statusText) {
                const std::string target = win32::Narrow(statusText, wcslen(statusText));
                if (StartsWithNoCase(target, "http:")) {
                    refusedRedirect_ = target;
                    return E_ABORT;
                }
            }
        }
        if (const int signal = InterruptSignal()) {
            interrupted_ = signal;
            return E_ABORT;
        }
        // An announced length over the cap ends the transfer before the data comes; a length
        // not announced is caught as soon as the bytes pass the cap.
        if (progress > maxBytes_ || progressMax > maxBytes_) {
            tooLarge_ = true;
            return E_ABORT;
        }
        if (!callback_) {
            return S_OK;
        }
        const std::string text =
            statusText ? win32::Narrow(statusText, wcslen(statusText)) : std::string();
        if (callback_->OnProgress(progress, progressMax, text.c_str()) != kProgressContinue) {
            aborted_ = true;
            return E_ABORT;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (binding_) {
            binding_->Release();
            binding_ = nullptr;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO*) override {
        if (flags) {
            *flags = kBindFlags;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lastActivity_ = SteadyClock::now();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

    // IHttpNegotiate
    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                   LPWSTR* additionalHeaders) override {
        if (additionalHeaders) {
            *additionalHeaders = static_cast<LPWSTR>(::CoTaskMemAlloc(sizeof kNoCacheHeaders));
            if (*additionalHeaders) {
                std::memcpy(*additionalHeaders, kNoCacheHeaders, sizeof kNoCacheHeaders);
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD status, LPCWSTR, LPCWSTR,
                                         LPWSTR* additionalHeaders) override {
        if (additionalHeaders) {
            *additionalHeaders = nullptr;
        }
        httpStatus_ = status;
        return status >= 200 && status < 300 ? S_OK : E_ABORT;
    }

    // Run on the watchdog thread until Finish: ends the transfer once it stalled.
    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!finished_) {
            const SteadyClock::time_point limit = lastActivity_ + stallLimit_;
            if (SteadyClock::now() >= limit) {
                stalled_ = stopped_ = true;
                if (binding_) {
                    IBinding* binding = binding_;
                    binding->AddRef();
                    lock.unlock();
                    binding->Abort();
                    binding->Release();
                    lock.lock();
                }
                break;
            }
            wake_.wait_until(lock, limit);
        }
    }
    void Finish() {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        wake_.notify_all();
    }

    bool Aborted() const { return aborted_; }
    int Interrupted() const { return interrupted_; }
    std::string RefusedRedirect() {
        std::lock_guard<std::mutex> lock(mutex_);
        return refusedRedirect_;
    }
    bool TooLarge() const { return tooLarge_; }
    bool Stalled() {
        std::lock_guard<std::mutex> lock(mutex_);
        return stalled_;
    }
    DWORD HttpStatus() const { return httpStatus_; }

private:
    ~Binder() {
        if (binding_) {
            binding_->Release();
        }
    }

    std::atomic<ULONG> references_{1};
    IDownloadStatusCallback* const callback_;
    const uint64_t maxBytes_;
    const std::chrono::milliseconds stallLimit_;
    const bool fromHttps_;
    std::atomic<bool> aborted_{false};
    std::atomic<int> interrupted_{0};
    std::atomic<bool> tooLarge_{false};
    std::atomic<DWORD> httpStatus_{0};

    std::mutex mutex_;  // guards the fields below
    std::condition_variable wake_;
    IBinding* binding_ = nullptr;
    SteadyClock::time_point lastActivity_;
    ULONG lastProgress_ = 0;
    std::string refusedRedirect_;
    bool stalled_ = false;
    bool stopped_ = false;
    bool finished_ = false;
};

// COM for the calling thread while a download runs, when it has none yet.
class ComScope {
public:
    ComScope() : result_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) {
            ::CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT result_;
};

// One try: true when the whole resource reached the file at `path`; otherwise the reason is
// recorded and `retry` tells whether another try may succeed.
bool DownloadOnce(const std::string& url, const std::wstring& wideUrl, const std::string& path,
                  uint64_t maxBytes, IDownloadStatusCallback* callback, bool& retry) {
    retry = false;
    ExclusiveFile target;
    if (!target.Create(path) || !target.Close()) {
        target.Discard();
        return false;
    }
    std::wstring widePath;
    if (!win32::WidePath(path, widePath)) {
        target.Discard();
        return false;
    }
    ::DeleteUrlCacheEntryW(wideUrl.c_str());  // nothing cached is an answer too

    Binder* binder =
        new Binder(callback, maxBytes, DownloadStallLimit(), StartsWithNoCase(url, "https:"));
    binder->AddRef();  // the watchdog's reference
    std::thread watchdog;
    try {
        watchdog = std::thread([binder] {
            binder->Watch();
            binder->Release();
        });
    } catch (const std::exception&) {
        binder->Release();  // no watchdog: the system's own time-outs still apply
    }
    const HRESULT result = ::URLDownloadToFileW(nullptr, wideUrl.c_str(), widePath.c_str(), 0,
                                                static_cast<IBindStatusCallback*>(binder));
    binder->Finish();
    if (watchdog.joinable()) {
        watchdog.join();
    }
    bool succeeded = SUCCEEDED(result);
    const DWORD status = binder->HttpStatus();
    const std::string refused = binder->RefusedRedirect();
    if (binder->Interrupted() != 0) {
        SetLastError(kErrorInterrupted,
                     "interrupted by signal " + std::to_string(binder->Interrupted()));
        succeeded = false;
    } else if (!refused.empty()) {
        SetLastError(kErrorRedirect, "a redirect from https to http was refused (" + refused + ")");
        succeeded = false;
    } else if (binder->TooLarge()) {
        SetLastError(kErrorTooLarge,
                     "the resource is larger than " + std::to_string(maxBytes) + " bytes");
        succeeded = false;
    } else if (binder->Stalled()) {
        SetLastError(kErrorStalled,
                     "time-out after " + DurationText(DownloadStallLimit()) + " without data");
        retry = true;
        succeeded = false;
    } else if (status != 0 && (status < 200 || status >= 300)) {
        SetLastError(kErrorStatus,
                     "the server answered with HTTP status " + std::to_string(status));
        retry = status >= 500;
        succeeded = false;
    } else if (!succeeded) {
        const std::string reason = win32::SystemMessage(static_cast<DWORD>(result));
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
        SetLastError(static_cast<uint32_t>(result),
                     binder->Aborted() ? std::string("the transfer was stopped")
                                       : "the download of " + url + " failed (" + code + ")" +
                                             (reason.empty() ? "" : ": " + reason));
        retry = !binder->Aborted() &&
                (result == INET_E_CONNECTION_TIMEOUT || result == INET_E_DOWNLOAD_FAILURE ||
                 result == INET_E_DATA_NOT_AVAILABLE);
    }
    binder->Release();
    if (!succeeded) {
        target.Discard();
    }
    return succeeded;
}

}  // namespace

bool DownloadUrlToFile(const std::string& url, const std::string& path, uint64_t maxBytes,
                       IDownloadStatusCallback* callback) {
    std::wstring wideUrl;
    std::wstring widePath;
    if (!win32::Widen(SystemUrl(url), wideUrl) || !win32::WidePath(path, widePath)) {
        return false;
    }
    ComScope com;
    if (callback) {
        callback->AddRef();
    }
    const bool network = StartsWithNoCase(url, "http:") || StartsWithNoCase(url, "https:");
    const uint32_t attempts = network ? kDownloadAttempts : 1;
    std::chrono::milliseconds delay = DownloadFirstRetryDelay();
    bool succeeded = false;
    for (uint32_t tried = 1;; ++tried) {
        bool retry = false;
        succeeded = DownloadOnce(url, wideUrl, path, maxBytes, callback, retry);
        if (succeeded || !retry || tried >= attempts) {
            if (!succeeded && tried > 1) {
                SetLastError(GetLastErrorCode(),
                             GetLastErrorText() + " (tried " + std::to_string(tried) + " times)");
            }
            break;
        }
        const std::string reason = GetLastErrorText();
        const uint32_t code = GetLastErrorCode();
        bool stop = false;
        for (const SteadyClock::time_point end = SteadyClock::now() + delay;
             !stop && SteadyClock::now() < end;) {
            stop = InterruptSignal() != 0 ||
                   (callback && callback->OnProgress(0, 0, nullptr) != kProgressContinue);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (stop) {
            SetLastError(code, InterruptSignal() != 0
                                   ? "interrupted by signal " + std::to_string(InterruptSignal())
                                   : "the transfer was stopped (" + reason + ")");
            break;
        }
        delay *= 2;
    }
    if (callback) {
        callback->Release();
    }
    return succeeded;
}

}  // namespace platform
