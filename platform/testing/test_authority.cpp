#include "platform/testing/test_authority.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace tw::testing {

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("TestAuthority: ") + what);
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    check(extension && X509_add_ext(certificate, extension, -1), "extension");
    X509_EXTENSION_free(extension);
}

// A day's certificate for `commonName` and `key`, signed by `issuerKey` as `issuer` (itself when null).
Certificate makeCertificate(const char* commonName, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
                            bool authority) {
    Certificate certificate(X509_new(), X509_free);
    check(certificate != nullptr, "certificate");
    X509* made = certificate.get();
    X509_set_version(made, 2);
    // A random serial, as no two certificates of one issuer may share one.
    const std::unique_ptr<BIGNUM, decltype(&BN_free)> serial(BN_new(), BN_free);
    check(serial && BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) &&
              BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(made)),
          "serial");
    X509_gmtime_adj(X509_getm_notBefore(made), -60);
    X509_gmtime_adj(X509_getm_notAfter(made), 24 * 60 * 60);
    X509_NAME* name = X509_get_subject_name(made);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                               -1, -1, 0);
    X509_set_issuer_name(made, issuer ? X509_get_subject_name(issuer) : name);
    X509_set_pubkey(made, key);
    X509* signer = issuer ? issuer : made;
    addExtension(made, signer, NID_subject_key_identifier, "hash");
    addExtension(made, signer, NID_authority_key_identifier, "keyid:always");
    if (authority) {
        addExtension(made, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(made, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(made, signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(made, signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
        addExtension(made, signer, NID_ext_key_usage, "serverAuth");
    }
    check(X509_sign(made, issuerKey, EVP_sha256()) > 0, "signature");
    return certificate;
}

std::string pem(const std::function<int(BIO*)>& write) {
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    check(bio && write(bio.get()) == 1, "PEM");
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

TlsIdentity identity(X509* certificate, EVP_PKEY* key) {
    return {pem([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate); }), pem([&](BIO* bio) {
                return PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
            })};
}

Key newKey() {
    Key key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    check(key != nullptr, "key");
    return key;
}

Key readKey(const std::string& text) {
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(text.data(), static_cast<int>(text.size())), BIO_free);
    return Key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
}

Certificate readCertificate(const std::string& text) {
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(text.data(), static_cast<int>(text.size())), BIO_free);
    return Certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr), X509_free);
}

}  // namespace

TestAuthority::TestAuthority() {
    const Key key = newKey();
    const Certificate root = makeCertificate("Test Authority", key.get(), nullptr, key.get(), true);
    root_ = identity(root.get(), key.get());
    std::string pattern = (std::filesystem::temp_directory_path() / "tw-test-authority-XXXXXX").string();
    const int file = mkstemp(pattern.data());
    check(file >= 0, "CA file");
    close(file);
    caFile_ = pattern;
    std::ofstream(caFile_) << root_.certificate;
}

TestAuthority::~TestAuthority() { std::remove(caFile_.c_str()); }

TlsIdentity TestAuthority::issue() const {
    const Key key = newKey();
    const Key rootKey = readKey(root_.key);
    const Certificate root = readCertificate(root_.certificate);
    check(rootKey && root, "root");
    const Certificate certificate = makeCertificate("127.0.0.1", key.get(), root.get(), rootKey.get(), false);
    return identity(certificate.get(), key.get());
}

TlsIdentity TestAuthority::selfSigned() {
    const Key key = newKey();
    const Certificate certificate = makeCertificate("127.0.0.1", key.get(), nullptr, key.get(), false);
    return identity(certificate.get(), key.get());
}

bool useIdentity(ssl_ctx_st& context, const TlsIdentity& identity) {
    const Certificate certificate = readCertificate(identity.certificate);
    const Key key = readKey(identity.key);
    return certificate && key && SSL_CTX_use_certificate(&context, certificate.get()) == 1 &&
           SSL_CTX_use_PrivateKey(&context, key.get()) == 1;
}

}  // namespace tw::testing
