#pragma once

#include <string>

namespace wrenfold::testing {

// A throwaway certificate authority and a server certificate it signed, made in memory when
// constructed so no key material lives in the tree. Throws std::runtime_error when OpenSSL fails.
class TestCertificates {
 public:
  // `serverNames` in OpenSSL's subjectAltName syntax.
  explicit TestCertificates(const std::string& serverNames = "IP:127.0.0.1,DNS:localhost");

  // PEM texts: the CA certificate (what a client trusts), the server's certificate and its key.
  [[nodiscard]] const std::string& caCertificatePem() const { return caCertificatePem_; }
  [[nodiscard]] const std::string& serverCertificatePem() const { return serverCertificatePem_; }
  [[nodiscard]] const std::string& serverKeyPem() const { return serverKeyPem_; }

 private:
  std::string caCertificatePem_;
  std::string serverCertificatePem_;
  std::string serverKeyPem_;
};

}  // namespace wrenfold::testing
