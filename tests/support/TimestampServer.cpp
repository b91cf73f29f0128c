#include "support/TimestampServer.h"

#include <httplib.h>
#include <openssl/ess.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <cctype>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace testsupport {

namespace {

// The signed message of an RFC 3161 token over `info`, made by hand rather than by OpenSSL's
// TS_RESP_CTX, which refuses signers without the time-stamping usage: the content is the
// TSTInfo, the signed attributes name its content type and the signer's certificate (ESS).
PKCS7* SignTstInfo(TS_TST_INFO* info, STACK_OF(X509) * certificates, EVP_PKEY* key) {
    X509* certificate = sk_X509_value(certificates, 0);
    PKCS7* token = PKCS7_new();
    PKCS7_set_type(token, NID_pkcs7_signed);
    for (int i = 0; i < sk_X509_num(certificates); ++i) {
        PKCS7_add_certificate(token, sk_X509_value(certificates, i));
    }
    PKCS7_SIGNER_INFO* signer = PKCS7_add_signature(token, certificate, key, EVP_sha256());
    PKCS7_add_signed_attribute(signer, NID_pkcs9_contentType, V_ASN1_OBJECT,
                               OBJ_nid2obj(NID_id_smime_ct_TSTInfo));
    ESS_SIGNING_CERT* ess = OSSL_ESS_signing_cert_new_init(certificate, nullptr, 0);
    unsigned char* essDer = nullptr;
    const int essLength = i2d_ESS_SIGNING_CERT(ess, &essDer);
    ASN1_STRING* essValue = ASN1_STRING_new();
    ASN1_STRING_set(essValue, essDer, essLength);
    PKCS7_add_signed_attribute(signer, NID_id_smime_aa_signingCertificate, V_ASN1_SEQUENCE,
                               essValue);
    OPENSSL_free(essDer);
    ESS_SIGNING_CERT_free(ess);

    PKCS7* content = PKCS7_new();
    content->type = OBJ_nid2obj(NID_id_smime_ct_TSTInfo);
    content->d.other = ASN1_TYPE_new();
    ASN1_TYPE_set(content->d.other, V_ASN1_OCTET_STRING, ASN1_OCTET_STRING_new());
    PKCS7_set_content(token, content);
    BIO* bio = PKCS7_dataInit(token, nullptr);
    i2d_TS_TST_INFO_bio(bio, info);
    PKCS7_dataFinal(token, bio);
    BIO_free_all(bio);
    return token;
}

}  // namespace

struct TimestampServer::State {
    time_t when = 0;
    STACK_OF(X509) * certificates = sk_X509_new_null();  // the signer's first
    EVP_PKEY* key = nullptr;
    httplib::Server server;
    int port = 0;
    std::thread thread;
    std::mutex mutex;
    long serial = 0;
    bool replay = false;
    std::string lastReply;

    std::string Rfc3161Reply(const std::string& query) {
        std::lock_guard<std::mutex> lock(mutex);
        if (replay) {
            return lastReply;
        }
        const unsigned char* p = reinterpret_cast<const unsigned char*>(query.data());
        TS_REQ* request = d2i_TS_REQ(nullptr, &p, static_cast<long>(query.size()));
        if (!request) {
            return std::string();
        }
        TS_TST_INFO* info = TS_TST_INFO_new();
        TS_TST_INFO_set_version(info, 1);
        ASN1_OBJECT* policy = OBJ_txt2obj("1.3.6.1.4.1.59999.1", 1);
        TS_TST_INFO_set_policy_id(info, policy);
        TS_TST_INFO_set_msg_imprint(info, TS_REQ_get_msg_imprint(request));
        ASN1_INTEGER* number = ASN1_INTEGER_new();
        ASN1_INTEGER_set(number, ++serial);
        TS_TST_INFO_set_serial(info, number);
        ASN1_GENERALIZEDTIME* time = ASN1_GENERALIZEDTIME_set(nullptr, when);
        TS_TST_INFO_set_time(info, time);
        if (const ASN1_INTEGER* nonce = TS_REQ_get_nonce(request)) {
            TS_TST_INFO_set_nonce(info, nonce);
        }
        TS_RESP* response = TS_RESP_new();
        TS_STATUS_INFO* status = TS_STATUS_INFO_new();
        TS_STATUS_INFO_set_status(status, TS_STATUS_GRANTED);
        TS_RESP_set_status_info(response, status);
        TS_RESP_set_tst_info(response, SignTstInfo(info, certificates, key), info);  // owns both
        unsigned char* der = nullptr;
        const int length = i2d_TS_RESP(response, &der);
        lastReply.assign(reinterpret_cast<char*>(der), length > 0 ? length : 0);
        OPENSSL_free(der);
        TS_RESP_free(response);
        TS_STATUS_INFO_free(status);
        ASN1_GENERALIZEDTIME_free(time);
        ASN1_INTEGER_free(number);
        ASN1_OBJECT_free(policy);
        TS_REQ_free(request);
        return lastReply;
    }

    // The legacy protocol: the request is the base64 of a sequence holding the signature value
    // to countersign; the reply is the base64 of a signed message over it, whose signer
    // information becomes the countersignature.
    std::string LegacyReply(const std::string& query) {
        std::string clean;
        for (char c : query) {
            if (!std::isspace(static_cast<unsigned char>(c))) {
                clean += c;
            }
        }
        std::vector<unsigned char> der(clean.size());
        const int decoded =
            EVP_DecodeBlock(der.data(), reinterpret_cast<const unsigned char*>(clean.data()),
                            static_cast<int>(clean.size()));
        if (decoded <= 0) {
            return std::string();
        }
        // SEQUENCE { type, SEQUENCE { content type, [0] { OCTET STRING } } }
        const unsigned char* p = der.data();
        const unsigned char* end = p + decoded;
        long length = 0;
        int tag = 0, cls = 0;
        const bool enter[] = {true, false, true, false, true, true};
        for (bool into : enter) {
            if (ASN1_get_object(&p, &length, &tag, &cls, end - p) & 0x80) {
                return std::string();
            }
            if (!into) {
                p += length;
            }
        }
        BIO* in = BIO_new_mem_buf(p, static_cast<int>(length));
        const int flags = PKCS7_BINARY | PKCS7_PARTIAL | PKCS7_NOSMIMECAP;
        STACK_OF(X509)* rest = sk_X509_dup(certificates);
        X509* signerCertificate = sk_X509_shift(rest);
        PKCS7* message = PKCS7_sign(signerCertificate, key, rest, in, flags);
        sk_X509_free(rest);
        PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(message), 0);
        PKCS7_add_signed_attribute(signer, NID_pkcs9_signingTime, V_ASN1_UTCTIME,
                                   ASN1_UTCTIME_set(nullptr, when));
        PKCS7_final(message, in, flags);
        unsigned char* out = nullptr;
        const int size = i2d_PKCS7(message, &out);
        std::string base64(4 * ((size + 2) / 3) + 1, '\0');
        base64.resize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&base64[0]), out, size));
        OPENSSL_free(out);
        PKCS7_free(message);
        BIO_free(in);
        return base64;
    }
};

TimestampServer::TimestampServer(const std::string& certificates, const std::string& key,
                                 time_t when)
    : state_(new State) {
    state_->when = when;
    FILE* file = std::fopen(certificates.c_str(), "r");
    while (X509* certificate = file ? PEM_read_X509(file, nullptr, nullptr, nullptr) : nullptr) {
        sk_X509_push(state_->certificates, certificate);
    }
    if (file) {
        std::fclose(file);
    }
    file = std::fopen(key.c_str(), "r");
    state_->key = file ? PEM_read_PrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
    if (file) {
        std::fclose(file);
    }
    State* state = state_.get();
    state->server.Post("/", [state](const httplib::Request& request, httplib::Response& response) {
        response.set_content(state->Rfc3161Reply(request.body), "application/timestamp-reply");
    });
    state->server.Post(
        "/legacy", [state](const httplib::Request& request, httplib::Response& response) {
            response.set_content(state->LegacyReply(request.body), "application/octet-stream");
        });
    state->port = state->server.bind_to_any_port("127.0.0.1");
    state->thread = std::thread([state] { state->server.listen_after_bind(); });
    while (!state->server.is_running()) {
        std::this_thread::yield();
    }
}

TimestampServer::~TimestampServer() {
    state_->server.stop();
    state_->thread.join();
    sk_X509_pop_free(state_->certificates, X509_free);
    EVP_PKEY_free(state_->key);
}

std::string TimestampServer::Rfc3161Url() const {
    return "http://127.0.0.1:" + std::to_string(state_->port) + "/";
}

std::string TimestampServer::LegacyUrl() const {
    return Rfc3161Url() + "legacy";
}

void TimestampServer::ReplayLastToken() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->replay = true;
}

}  // namespace testsupport
