// A time-stamping server on 127.0.0.1 for osslsigncode's -ts (RFC 3161) and -t (the legacy
// Authenticode protocol). It states a chosen time and signs with a chosen certificate and key,
// whatever usages the certificate has, so that tests can make time-stamps a verifier must not
// count as well as those it must.
#pragma once

#include <ctime>
#include <memory>
#include <string>

namespace testsupport {

class TimestampServer {
public:
    // Signs with the first certificate of the PEM file `certificates` and the key in `key`;
    // the time-stamps carry every certificate of the file.
    TimestampServer(const std::string& certificates, const std::string& key, time_t when);
    ~TimestampServer();
    TimestampServer(const TimestampServer&) = delete;
    TimestampServer& operator=(const TimestampServer&) = delete;

    std::string Rfc3161Url() const;
    std::string LegacyUrl() const;

    // From now on every RFC 3161 request gets the last token given out, made for another
    // signature, as a server replaying a genuine token would answer.
    void ReplayLastToken();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace testsupport
