#pragma once

// Certificates, their contexts and stores for the stand-in crypt32: the
// contexts handed out are the platform's structure, leading back to a shared,
// reference-counted certificate.

#include "platform/crypto_api.h"
#include "platform/last_error.h"
#include "platform/standin/signed_message.h"

#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korin::standin::crypt32 {

constexpr std::uint32_t kContextMagic = 0x43455254;  // "CERT"
constexpr std::uint32_t kStoreMagic = 0x53544F52;    // "STOR"

inline crypto::Bool failWith(std::uint32_t error) {
    setLastError(error);
    return 0;
}

template <typename T>
T* failNull(std::uint32_t error) {
    setLastError(error);
    return nullptr;
}

// One decoded certificate, shared by the store and the contexts made from it.
struct CertEntry {
    std::vector<std::uint8_t> encoded;
    X509* x509 = nullptr;
    int references = 1;
};

void retain(CertEntry* entry);
void release(CertEntry* entry);
CertEntry* decodeCertificate(const std::uint8_t* data, std::size_t size, std::uint32_t& error);

// A certificate context: the platform's structure first, so that the
// pointer handed out leads back here.
struct Context {
    crypto::CertContext context;
    std::uint32_t magic;
    CertEntry* entry;
    std::size_t index;  // in its store
};

struct Store {
    std::uint32_t magic = kStoreMagic;
    std::vector<CertEntry*> certificates;
};

Context* contextOf(crypto::CertContextPtr pointer);
Store* storeOf(crypto::CertStore pointer);
crypto::CertContextPtr newContext(CertEntry* entry, Store* store, std::size_t index);
void closeStore(Store* store);
Store* storeOfMessage(const SignedMessage& message, std::uint32_t& error);

// CERT_FIND_ISSUER_OF: by the subject's authority key identifier when it has
// one, else by name.
bool isIssuerOf(X509* candidate, X509* subject);

// The certificate's signature, over its to-be-signed part as encoded, by key.
bool certificateSignedBy(const CertEntry& subject, EVP_PKEY* key);

// CertVerifyTimeValidity: NotBefore <= now <= NotAfter.
bool validNow(X509* x509);

bool sameSerial(X509* x509, const Element& serial);

// The signer's certificate among the message's own.
std::size_t findSigner(const Store& store, const SignerInfo& signer);

}  // namespace korin::standin::crypt32
