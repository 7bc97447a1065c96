#include "support/test_http_channel.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <climits>
#include <memory>
#include <stdexcept>
#include <string>

#include "support/test_certificates.h"

namespace wrenfold::testing {

namespace {

class PlainChannel final : public Channel {
 public:
  explicit PlainChannel(int fd) : fd_(fd) {}

  std::size_t read(char* buffer, std::size_t size) override {
    const ssize_t got = ::recv(fd_, buffer, size, 0);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }

  bool writeAll(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) {
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

 private:
  int fd_;
};

class TlsChannel final : public Channel {
 public:
  explicit TlsChannel(SSL* ssl) : ssl_(ssl) {}
  ~TlsChannel() override { SSL_free(ssl_); }
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  std::size_t read(char* buffer, std::size_t size) override {
    const int got = SSL_read(ssl_, buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }

  bool writeAll(std::string_view bytes) override {
    while (!bytes.empty()) {
      const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
      const int sent = SSL_write(ssl_, bytes.data(), chunk);
      if (sent <= 0) {
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  void closeGracefully() override { SSL_shutdown(ssl_); }

 private:
  SSL* ssl_;
};

template <class T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};

std::unique_ptr<X509, Deleter<X509, X509_free>> certificateFromPem(const std::string& pem) {
  std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>> bio(
      BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return std::unique_ptr<X509, Deleter<X509, X509_free>>(
      PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>> keyFromPem(const std::string& pem) {
  std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>> bio(
      BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>(
      PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

}  // namespace

ServerTlsContext::ServerTlsContext(const TestCertificates& certificates)
    : context_(SSL_CTX_new(TLS_server_method())) {
  const auto certificate = certificateFromPem(certificates.serverCertificatePem());
  const auto key = keyFromPem(certificates.serverKeyPem());
  const bool ready = context_ != nullptr && certificate && key &&
                     SSL_CTX_use_certificate(context_, certificate.get()) == 1 &&
                     SSL_CTX_use_PrivateKey(context_, key.get()) == 1;
  if (!ready) {
    SSL_CTX_free(context_);
    throw std::runtime_error("test server: cannot set up TLS");
  }
}

ServerTlsContext::~ServerTlsContext() {
  SSL_CTX_free(context_);
}

std::unique_ptr<Channel> ServerTlsContext::accept(int fd) const {
  SSL* ssl = SSL_new(context_);
  if (ssl == nullptr) {
    return nullptr;
  }
  if (SSL_set_fd(ssl, fd) != 1 || SSL_accept(ssl) != 1) {
    ERR_clear_error();
    SSL_free(ssl);
    return nullptr;
  }
  return std::make_unique<TlsChannel>(ssl);
}

std::unique_ptr<Channel> plainChannel(int fd) {
  return std::make_unique<PlainChannel>(fd);
}

}  // namespace wrenfold::testing
