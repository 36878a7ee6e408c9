#pragma once

// PKCS #7 signed messages for the stand-in crypt32: the parts of a message
// and of a signer, and the check of one signer's signature.

#include "platform/standin/der_reader.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korin::standin::crypt32 {

struct Piece {
    const std::uint8_t* data;
    std::size_t size;
};

struct SignedMessage {
    std::vector<Piece> content;
    std::size_t contentSize = 0;
    std::vector<Element> certificates;
    std::vector<Element> signerInfos;
};

struct SignerInfo {
    bool byKeyId = false;
    Element issuer;
    Element serial;
    Element keyId;
    Element digestAlgorithm;
    bool hasAttributes = false;
    Element attributes;
    Element signatureAlgorithm;
    Element signature;
};

bool parseSignedMessage(const std::uint8_t* blob, std::size_t size, SignedMessage& message,
                        std::uint32_t& error);
bool parseSignerInfo(const Element& element, SignerInfo& signer, std::uint32_t& error);

// The NID of an AlgorithmIdentifier's object identifier; NID_undef if unknown.
int algorithmNid(const Element& algorithm);

// A digest algorithm a signer may name.
const EVP_MD* signerDigest(int nid);

// The key type a signature algorithm needs; EVP_PKEY_NONE if not supported.
int keyTypeOf(int signatureNid);

// A signature over a digest already made, as the message's signer made it.
bool digestSignatureHolds(EVP_PKEY* key, int signatureNid, const EVP_MD* md,
                          const unsigned char* digest, std::size_t digestSize,
                          const unsigned char* signature, std::size_t signatureSize);

// The signer's signature over the content, through the authenticated
// attributes when there are any.
std::uint32_t checkSignerSignature(const SignedMessage& message, const SignerInfo& signer,
                                   X509* certificate);

}  // namespace korin::standin::crypt32
