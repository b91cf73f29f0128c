// The trusted roots of the POSIX trust check (Trust.h): the system's CA bundle (OpenSSL's
// default certificate file and folder, or SSL_CERT_FILE and SSL_CERT_DIR where set) and the PEM
// file named by VOMO_TRUST_ROOTS, loaded into one certificate store that the whole process
// shares.
//
// Loading the system's bundle costs tens of milliseconds, far more than checking a signature, so
// the store is loaded on the first check and kept. Each later check looks at its sources (the
// value of VOMO_TRUST_ROOTS and the identity of the three places: device, inode, size, change
// and modification times) and loads a new store when any of them changed, so that a root added
// or removed by the system's CA update, or a different VOMO_TRUST_ROOTS, counts from the next
// check on. A check that holds a store keeps it alive until it ends, whatever replaced it.
//
// The store's contents are not changed after it was loaded, but OpenSSL writes to them while it
// builds a chain (certificates of the system's folder are read into the store on demand, and a
// certificate's extensions are cached in it on first use), and verifying a time-stamp token sets
// the store's verification time for the token's own chain (OpenSSL offers no other way). So
// whoever builds or checks a chain against the store, or changes its parameters, holds
// ParametersLock() meanwhile; the rest of a check (hashing, the signature over the content) may
// run on several threads at once.
//
// POSIX backend only: on Windows the system's own trust verification keeps its roots.
#pragma once

#include <memory>
#include <mutex>

struct x509_store_st;  // OpenSSL's X509_STORE

namespace platform {

class TrustRoots {
public:
    // The roots as their sources stand now: the store loaded before while nothing changed, else
    // a new one. Null only when no store can be made at all (out of memory).
    static std::shared_ptr<TrustRoots> Current();

    ~TrustRoots();
    TrustRoots(const TrustRoots&) = delete;
    TrustRoots& operator=(const TrustRoots&) = delete;

    x509_store_st* Store() const { return store_; }
    std::mutex& ParametersLock() const { return parameters_; }

    // How many stores this process has loaded so far (for tests of the sharing).
    static unsigned LoadCount();

private:
    explicit TrustRoots(x509_store_st* store) : store_(store) {}

    x509_store_st* store_;
    mutable std::mutex parameters_;
};

}  // namespace platform
