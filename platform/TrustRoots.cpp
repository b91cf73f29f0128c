#include "platform/TrustRoots.h"

#include <sys/stat.h>

#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/Environment.h"

namespace platform {

namespace {

// What a place held when it was looked at; a missing place is all zeros.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {0, 0};
    struct timespec changed = {0, 0};

    bool operator==(const Identity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

Identity IdentityOf(const std::string& path) {
    Identity identity;
    struct stat st;
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) {
        identity.device = st.st_dev;
        identity.inode = st.st_ino;
        identity.size = st.st_size;
        identity.modified = st.st_mtim;
        identity.changed = st.st_ctim;
    }
    return identity;
}

// The place OpenSSL's default lookups read: the variable's value where it is set, else the
// built-in default (as X509_STORE_set_default_paths decides it).
std::string DefaultPlace(const char* variable, const char* builtIn) {
    std::string value;
    if (GetEnvironmentText(variable, value)) {
        return value;
    }
    return builtIn ? builtIn : "";
}

// Everything the store is loaded from.
struct Sources {
    bool extraSet = false;
    std::string extra;
    Identity extraFile;
    Identity bundleFile;
    Identity bundleFolder;

    static Sources Now() {
        Sources now;
        now.extraSet = GetEnvironmentText("VOMO_TRUST_ROOTS", now.extra) && !now.extra.empty();
        if (now.extraSet) {
            now.extraFile = IdentityOf(now.extra);
        }
        now.bundleFile = IdentityOf(
            DefaultPlace(X509_get_default_cert_file_env(), X509_get_default_cert_file()));
        now.bundleFolder =
            IdentityOf(DefaultPlace(X509_get_default_cert_dir_env(), X509_get_default_cert_dir()));
        return now;
    }

    bool operator==(const Sources& other) const {
        return extraSet == other.extraSet && extra == other.extra && extraFile == other.extraFile &&
               bundleFile == other.bundleFile && bundleFolder == other.bundleFolder;
    }
};

X509_STORE* LoadStore(const Sources& sources) {
    X509_STORE* store = X509_STORE_new();
    if (!store) {
        return nullptr;
    }
    X509_STORE_set_default_paths(store);
    if (sources.extraSet) {
        // A file that cannot be read adds no roots; the check then fails on the chain.
        X509_STORE_load_file(store, sources.extra.c_str());
    }
    // OpenSSL's purposes stay out of every chain built on this store: it has none for code
    // signing, and the trust check judges the usages itself, the same way for a signer and for
    // a time-stamp.
    X509_STORE_set_purpose(store, X509_PURPOSE_ANY);
    ERR_clear_error();
    return store;
}

std::atomic<unsigned> gLoads{0};

}  // namespace

TrustRoots::~TrustRoots() {
    X509_STORE_free(store_);
}

unsigned TrustRoots::LoadCount() {
    return gLoads.load();
}

std::shared_ptr<TrustRoots> TrustRoots::Current() {
    // The last store and its sources stay until the process ends: never freed at exit, where
    // OpenSSL may have been cleaned up already.
    struct Last {
        std::mutex mutex;
        std::shared_ptr<TrustRoots> roots;
        Sources sources;
    };
    static Last* const last = new Last;
    // The sources are looked at before a load, so that a store never passes for newer than
    // what it holds: a change during the load only brings another load at the next check.
    const Sources now = Sources::Now();
    std::lock_guard<std::mutex> lock(last->mutex);
    if (last->roots && last->sources == now) {
        return last->roots;
    }
    X509_STORE* store = LoadStore(now);
    if (!store) {
        return nullptr;  // never the roots of other sources
    }
    ++gLoads;
    last->roots.reset(new TrustRoots(store));
    last->sources = now;
    return last->roots;
}

}  // namespace platform
