#include "platform/standin/signed_message.h"

#include "platform/error_codes.h"

#include <openssl/objects.h>
#include <openssl/rsa.h>

namespace korin::standin::crypt32 {

namespace {

// Object identifiers, as their DER contents.
constexpr std::uint8_t kOidSignedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr std::uint8_t kOidData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
constexpr std::uint8_t kOidMessageDigest[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};

bool readContent(const Element& type, const Element& wrapped, SignedMessage& message,
                 std::uint32_t& error) {
    Der outer(wrapped);
    Element inner;
    if (!outer.read(inner, error)) {
        return false;
    }
    if (!type.contentsEqual(kOidData, sizeof(kOidData))) {
        message.content.push_back({inner.value, inner.length});
    } else if (inner.tag == 0x04) {
        message.content.push_back({inner.value, inner.length});
    } else if (inner.tag == 0x24) {
        // A constructed OCTET STRING: its primitive segments in order.
        Der segments(inner);
        while (!segments.atEnd()) {
            Element segment;
            if (!segments.read(0x04, segment, error)) {
                return false;
            }
            message.content.push_back({segment.value, segment.length});
        }
    } else {
        error = crypto::kCryptEAsn1BadTag;
        return false;
    }
    for (const Piece& piece : message.content) {
        message.contentSize += piece.size;
    }
    return true;
}

}  // namespace

bool parseSignedMessage(const std::uint8_t* blob, std::size_t size, SignedMessage& message,
                        std::uint32_t& error) {
    if (blob == nullptr && size != 0) {
        error = kErrorInvalidParameter;
        return false;
    }
    Der top(blob, size);
    Element contentInfo, type, explicitContent, signedData;
    if (!top.read(0x30, contentInfo, error)) {
        return false;
    }
    Der info(contentInfo);
    if (!info.read(0x06, type, error)) {
        return false;
    }
    if (!type.contentsEqual(kOidSignedData, sizeof(kOidSignedData))) {
        error = crypto::kCryptEUnexpectedMsgType;
        return false;
    }
    if (!info.read(0xA0, explicitContent, error) ||
        !Der(explicitContent).read(0x30, signedData, error)) {
        return false;
    }
    Der fields(signedData);
    Element version, digestAlgorithms, encapsulated;
    if (!fields.read(0x02, version, error) || !fields.read(0x31, digestAlgorithms, error) ||
        !fields.read(0x30, encapsulated, error)) {
        return false;
    }
    Der encapsulatedFields(encapsulated);
    Element contentType;
    if (!encapsulatedFields.read(0x06, contentType, error)) {
        return false;
    }
    if (!encapsulatedFields.atEnd()) {
        Element wrapped;
        if (!encapsulatedFields.read(0xA0, wrapped, error) ||
            !readContent(contentType, wrapped, message, error)) {
            return false;
        }
    }
    if (fields.peek(0xA0)) {
        Element certificates;
        fields.read(certificates, error);
        Der list(certificates);
        while (!list.atEnd()) {
            Element certificate;
            if (!list.read(certificate, error)) {
                return false;
            }
            // Other certificate choices (attribute certificates) are not X.509.
            if (certificate.tag == 0x30) {
                message.certificates.push_back(certificate);
            }
        }
    }
    if (fields.peek(0xA1)) {
        Element crls;
        fields.read(crls, error);
    }
    Element signerInfos;
    if (!fields.read(0x31, signerInfos, error)) {
        return false;
    }
    Der signers(signerInfos);
    while (!signers.atEnd()) {
        Element signer;
        if (!signers.read(0x30, signer, error)) {
            return false;
        }
        message.signerInfos.push_back(signer);
    }
    return true;
}

bool parseSignerInfo(const Element& element, SignerInfo& signer, std::uint32_t& error) {
    Der fields(element);
    Element version, id;
    if (!fields.read(0x02, version, error) || !fields.read(id, error)) {
        return false;
    }
    if (id.tag == 0x30) {
        Der issuerAndSerial(id);
        if (!issuerAndSerial.read(0x30, signer.issuer, error) ||
            !issuerAndSerial.read(0x02, signer.serial, error)) {
            return false;
        }
    } else if (id.tag == 0x80) {
        signer.byKeyId = true;
        signer.keyId = id;
    } else {
        error = crypto::kCryptEAsn1BadTag;
        return false;
    }
    if (!fields.read(0x30, signer.digestAlgorithm, error)) {
        return false;
    }
    if (fields.peek(0xA0)) {
        signer.hasAttributes = true;
        fields.read(signer.attributes, error);
    }
    return fields.read(0x30, signer.signatureAlgorithm, error) &&
           fields.read(0x04, signer.signature, error);
}

// The NID of an AlgorithmIdentifier's object identifier; NID_undef if unknown.
int algorithmNid(const Element& algorithm) {
    Element oid;
    std::uint32_t error = 0;
    if (!Der(algorithm).read(0x06, oid, error)) {
        return NID_undef;
    }
    const unsigned char* p = oid.start;
    ASN1_OBJECT* object = d2i_ASN1_OBJECT(nullptr, &p, static_cast<long>(oid.size()));
    if (object == nullptr) {
        return NID_undef;
    }
    const int nid = OBJ_obj2nid(object);
    ASN1_OBJECT_free(object);
    return nid;
}

// ---- Signatures ------------------------------------------------------------

// A digest algorithm a signer may name.
const EVP_MD* signerDigest(int nid) {
    switch (nid) {
        case NID_md5:
        case NID_sha1:
        case NID_sha256:
        case NID_sha384:
        case NID_sha512:
            return EVP_get_digestbynid(nid);
        default:
            return nullptr;
    }
}

// The key type a signature algorithm needs; EVP_PKEY_NONE if not supported.
int keyTypeOf(int signatureNid) {
    if (signatureNid == NID_rsaEncryption) {
        return EVP_PKEY_RSA;
    }
    if (signatureNid == NID_X9_62_id_ecPublicKey) {
        return EVP_PKEY_EC;
    }
    int digestNid = NID_undef;
    int keyNid = NID_undef;
    if (OBJ_find_sigid_algs(signatureNid, &digestNid, &keyNid) == 0 || digestNid == NID_undef) {
        return EVP_PKEY_NONE;
    }
    if (keyNid == NID_rsaEncryption) {
        return EVP_PKEY_RSA;
    }
    if (keyNid == NID_X9_62_id_ecPublicKey) {
        return EVP_PKEY_EC;
    }
    return EVP_PKEY_NONE;
}

// A signature over a digest already made, as the message's signer made it.
bool digestSignatureHolds(EVP_PKEY* key, int signatureNid, const EVP_MD* md,
                          const unsigned char* digest, std::size_t digestSize,
                          const unsigned char* signature, std::size_t signatureSize) {
    const int keyType = keyTypeOf(signatureNid);
    if (key == nullptr || keyType == EVP_PKEY_NONE || EVP_PKEY_get_base_id(key) != keyType) {
        return false;
    }
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key, nullptr);
    bool holds = context != nullptr && EVP_PKEY_verify_init(context) == 1;
    if (holds && keyType == EVP_PKEY_RSA) {
        holds = EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
                EVP_PKEY_CTX_set_signature_md(context, md) == 1;
    }
    holds = holds && EVP_PKEY_verify(context, signature, signatureSize, digest, digestSize) == 1;
    EVP_PKEY_CTX_free(context);
    return holds;
}

// The signer's signature over the content, through the authenticated
// attributes when there are any.
std::uint32_t checkSignerSignature(const SignedMessage& message, const SignerInfo& signer,
                                   X509* certificate) {
    const EVP_MD* md = signerDigest(algorithmNid(signer.digestAlgorithm));
    if (md == nullptr) {
        return crypto::kCryptEUnknownAlgo;
    }
    unsigned char contentDigest[EVP_MAX_MD_SIZE];
    unsigned int contentDigestSize = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool hashed = context != nullptr && EVP_DigestInit_ex(context, md, nullptr) == 1;
    for (const Piece& piece : message.content) {
        hashed = hashed && EVP_DigestUpdate(context, piece.data, piece.size) == 1;
    }
    hashed = hashed && EVP_DigestFinal_ex(context, contentDigest, &contentDigestSize) == 1;
    if (!hashed) {
        EVP_MD_CTX_free(context);
        return kErrorNotEnoughMemory;
    }
    const unsigned char* signedDigest = contentDigest;
    unsigned char attributesDigest[EVP_MAX_MD_SIZE];
    unsigned int attributesDigestSize = 0;
    if (signer.hasAttributes) {
        std::uint32_t error = 0;
        bool found = false;
        Der attributes(signer.attributes);
        while (!attributes.atEnd() && !found) {
            Element attribute, type, values, value;
            if (!attributes.read(0x30, attribute, error)) {
                EVP_MD_CTX_free(context);
                return error;
            }
            Der parts(attribute);
            if (!parts.read(0x06, type, error) || !parts.read(0x31, values, error)) {
                EVP_MD_CTX_free(context);
                return error;
            }
            if (type.contentsEqual(kOidMessageDigest, sizeof(kOidMessageDigest))) {
                if (!Der(values).read(0x04, value, error)) {
                    EVP_MD_CTX_free(context);
                    return error;
                }
                if (!value.contentsEqual(contentDigest, contentDigestSize)) {
                    EVP_MD_CTX_free(context);
                    return crypto::kCryptEHashValue;
                }
                found = true;
            }
        }
        if (!found) {
            EVP_MD_CTX_free(context);
            return crypto::kCryptEAuthAttrMissing;
        }
        // Signed as a SET OF, with the bytes as they were encoded.
        static constexpr unsigned char kSetTag = 0x31;
        const bool digested =
            EVP_DigestInit_ex(context, md, nullptr) == 1 &&
            EVP_DigestUpdate(context, &kSetTag, 1) == 1 &&
            EVP_DigestUpdate(context, signer.attributes.start + 1, signer.attributes.size() - 1) ==
                1 &&
            EVP_DigestFinal_ex(context, attributesDigest, &attributesDigestSize) == 1;
        if (!digested) {
            EVP_MD_CTX_free(context);
            return kErrorNotEnoughMemory;
        }
        signedDigest = attributesDigest;
    }
    EVP_MD_CTX_free(context);
    const unsigned int digestSize = signer.hasAttributes ? attributesDigestSize : contentDigestSize;
    const int signatureNid = algorithmNid(signer.signatureAlgorithm);
    if (keyTypeOf(signatureNid) == EVP_PKEY_NONE) {
        return crypto::kNteBadAlgId;
    }
    if (!digestSignatureHolds(X509_get0_pubkey(certificate), signatureNid, md, signedDigest,
                              digestSize, signer.signature.value, signer.signature.length)) {
        return crypto::kNteBadSignature;
    }
    return kErrorSuccess;
}

}  // namespace korin::standin::crypt32
