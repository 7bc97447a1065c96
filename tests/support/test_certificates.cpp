#include "support/test_certificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace wrenfold::testing {

namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;
using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;

constexpr long kValiditySeconds = 24L * 60 * 60;

void check(bool ok, const char* what) {
  if (!ok) {
    throw std::runtime_error(std::string("test certificates: ") + what);
  }
}

KeyPtr makeKey() {
  KeyPtr key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
  check(key != nullptr, "key generation failed");
  return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  check(extension != nullptr, "bad extension");
  const int added = X509_add_ext(cert, extension, -1);
  X509_EXTENSION_free(extension);
  check(added == 1, "adding an extension failed");
}

// A certificate for `key` named `commonName`, not yet signed or extended; the issuer name is
// the subject's (self-signed) unless `issuer` is given.
CertPtr makeCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, long serial) {
  CertPtr cert(X509_new(), &X509_free);
  check(cert != nullptr, "X509_new failed");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  // Back-dated a little so clock skew between the steps of a test never matters.
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), kValiditySeconds);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  const auto* cn = reinterpret_cast<const unsigned char*>(commonName);
  check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, cn, -1, -1, 0) == 1, "subject name");
  X509_set_issuer_name(cert.get(), issuer != nullptr ? X509_get_subject_name(issuer) : name);
  return cert;
}

void sign(X509* cert, EVP_PKEY* issuerKey) {
  check(X509_sign(cert, issuerKey, EVP_sha256()) > 0, "signing failed");
}

std::string certificatePem(X509* cert) {
  BioPtr bio(BIO_new(BIO_s_mem()), &BIO_free);
  check(bio != nullptr && PEM_write_bio_X509(bio.get(), cert) == 1, "PEM encoding failed");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

}  // namespace

TestCertificates::TestCertificates(const std::string& serverNames) {
  const KeyPtr caKey = makeKey();
  const CertPtr ca = makeCertificate(caKey.get(), "Wrenfold Test CA", nullptr, 1);
  addExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE");
  addExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
  addExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
  sign(ca.get(), caKey.get());

  const KeyPtr serverKey = makeKey();
  const CertPtr server = makeCertificate(serverKey.get(), "Wrenfold Test Server", ca.get(), 2);
  addExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
  addExtension(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature,keyEncipherment");
  addExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth");
  addExtension(server.get(), ca.get(), NID_subject_alt_name, serverNames.c_str());
  addExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid:always");
  sign(server.get(), caKey.get());

  caCertificatePem_ = certificatePem(ca.get());
  serverContext_.reset(SSL_CTX_new(TLS_server_method()), &SSL_CTX_free);
  check(serverContext_ && SSL_CTX_use_certificate(serverContext_.get(), server.get()) == 1 &&
            SSL_CTX_use_PrivateKey(serverContext_.get(), serverKey.get()) == 1,
        "server TLS context");
}

}  // namespace wrenfold::testing
