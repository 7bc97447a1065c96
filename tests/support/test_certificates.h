#pragma once

#include <memory>
#include <string>

struct ssl_ctx_st;  // OpenSSL's SSL_CTX

namespace wrenfold::testing {

// A throwaway certificate authority and a server certificate it signed, made in memory when
// constructed so no key material lives in the tree. Throws std::runtime_error when OpenSSL fails.
class TestCertificates {
 public:
  // `serverNames` in OpenSSL's subjectAltName syntax.
  explicit TestCertificates(const std::string& serverNames = "IP:127.0.0.1,DNS:localhost");

  // The CA certificate as PEM text: what a client trusts.
  [[nodiscard]] const std::string& caCertificatePem() const { return caCertificatePem_; }
  // A server-side TLS context holding the server's certificate and key.
  [[nodiscard]] std::shared_ptr<ssl_ctx_st> serverContext() const { return serverContext_; }

 private:
  std::string caCertificatePem_;
  std::shared_ptr<ssl_ctx_st> serverContext_;
};

}  // namespace wrenfold::testing
