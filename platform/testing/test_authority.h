#pragma once
// A certificate authority made at test time, so https can be tried on loopback without
// the network or the system's trust store: server certificates for 127.0.0.1 it issues,
// or self-signed ones nobody vouches for.
#include <string>

struct ssl_ctx_st;  // OpenSSL's SSL_CTX

namespace tw::testing {

// A server's certificate and private key, PEM.
struct TlsIdentity {
    std::string certificate;
    std::string key;
};

class TestAuthority {
   public:
    TestAuthority();   // a fresh key and root certificate, written to caFile()
    ~TestAuthority();  // removes the file
    TestAuthority(const TestAuthority&) = delete;
    TestAuthority& operator=(const TestAuthority&) = delete;

    // The root certificate, PEM: what a client is told to trust.
    const std::string& caFile() const { return caFile_; }
    // A certificate for 127.0.0.1 and localhost signed by this authority.
    TlsIdentity issue() const;
    // The same, signed by its own key.
    static TlsIdentity selfSigned();

   private:
    std::string caFile_;
    TlsIdentity root_;
};

// Makes a server context present `identity`; false when its PEM does not read.
bool useIdentity(ssl_ctx_st& context, const TlsIdentity& identity);

}  // namespace tw::testing
