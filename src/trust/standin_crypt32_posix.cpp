// crypt32's message and certificate functions on the stand-in machine. The
// message is read in place (no copy of the package): its certificates are
// decoded one by one with OpenSSL, and signatures are checked one at a time
// with the key the platform would use. Nothing else is checked: no purpose,
// key usage, basic constraints, revocation or chain policy.

#include "platform/last_error.h"
#include "platform/win_errors.h"
#include "trust/standin_crypto_posix.h"

#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <ctime>
#include <new>
#include <vector>

namespace korin::standin {

namespace {

constexpr std::uint32_t kCryptEAuthAttrMissing = 0x80091006;
constexpr std::uint32_t kContextMagic = 0x43455254;  // "CERT"
constexpr std::uint32_t kStoreMagic = 0x53544F52;    // "STOR"
constexpr crypto::Dword kCertStoreRevocationFlag = 0x4;
constexpr crypto::Dword kCertStoreNoCrlFlag = 0x10000;
constexpr crypto::Dword kCertFindAny = 0;

// Object identifiers, as their DER contents.
constexpr std::uint8_t kOidSignedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr std::uint8_t kOidData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
constexpr std::uint8_t kOidMessageDigest[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};

crypto::Bool failWith(std::uint32_t error) {
    setLastError(error);
    return 0;
}

template <typename T>
T* failNull(std::uint32_t error) {
    setLastError(error);
    return nullptr;
}

// ---- DER, read in place ----------------------------------------------------

struct Element {
    std::uint8_t tag = 0;
    const std::uint8_t* start = nullptr;  // the tag byte
    const std::uint8_t* value = nullptr;
    std::size_t length = 0;  // of the value
    std::size_t size() const { return static_cast<std::size_t>(value - start) + length; }
    bool contentsEqual(const std::uint8_t* bytes, std::size_t count) const {
        return length == count && std::memcmp(value, bytes, count) == 0;
    }
};

// Definite-length DER elements one after another; indefinite lengths and
// high tag numbers are not read.
class Der {
  public:
    Der(const std::uint8_t* data, std::size_t size) : next_(data), end_(data + size) {}
    explicit Der(const Element& element) : Der(element.value, element.length) {}

    bool atEnd() const { return next_ == end_; }
    bool peek(std::uint8_t tag) const { return next_ != end_ && *next_ == tag; }

    bool read(Element& element, std::uint32_t& error) {
        const std::uint8_t* p = next_;
        if (p == end_) {
            error = crypto::kCryptEAsn1Eod;
            return false;
        }
        element.start = p;
        element.tag = *p++;
        if ((element.tag & 0x1F) == 0x1F) {
            error = crypto::kCryptEAsn1BadTag;
            return false;
        }
        if (p == end_) {
            error = crypto::kCryptEAsn1Eod;
            return false;
        }
        std::size_t length = *p++;
        if (length == 0x80) {
            error = crypto::kCryptEAsn1Corrupt;
            return false;
        }
        if (length > 0x80) {
            const std::size_t count = length & 0x7F;
            if (count > 4) {
                error = crypto::kCryptEAsn1Corrupt;
                return false;
            }
            if (static_cast<std::size_t>(end_ - p) < count) {
                error = crypto::kCryptEAsn1Eod;
                return false;
            }
            length = 0;
            for (std::size_t i = 0; i < count; ++i) {
                length = (length << 8) | *p++;
            }
        }
        if (static_cast<std::size_t>(end_ - p) < length) {
            error = crypto::kCryptEAsn1Eod;
            return false;
        }
        element.value = p;
        element.length = length;
        next_ = p + length;
        return true;
    }

    bool read(std::uint8_t tag, Element& element, std::uint32_t& error) {
        if (!read(element, error)) {
            return false;
        }
        if (element.tag != tag) {
            error = crypto::kCryptEAsn1BadTag;
            return false;
        }
        return true;
    }

  private:
    const std::uint8_t* next_;
    const std::uint8_t* end_;
};

// ---- Messages --------------------------------------------------------------

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

// ---- Certificates, contexts and stores -------------------------------------

// One decoded certificate, shared by the store and the contexts made from it.
struct CertEntry {
    std::vector<std::uint8_t> encoded;
    X509* x509 = nullptr;
    int references = 1;
};

void retain(CertEntry* entry) {
    ++entry->references;
}

void release(CertEntry* entry) {
    if (--entry->references == 0) {
        X509_free(entry->x509);
        delete entry;
    }
}

CertEntry* decodeCertificate(const std::uint8_t* data, std::size_t size, std::uint32_t& error) {
    const unsigned char* p = data;
    X509* x509 = d2i_X509(nullptr, &p, static_cast<long>(size));
    if (x509 == nullptr) {
        error = crypto::kCryptEAsn1Corrupt;
        return nullptr;
    }
    auto* entry = new (std::nothrow) CertEntry;
    if (entry == nullptr) {
        X509_free(x509);
        error = kErrorNotEnoughMemory;
        return nullptr;
    }
    entry->x509 = x509;
    entry->encoded.assign(data, data + size);
    return entry;
}

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

Context* contextOf(crypto::CertContextPtr pointer) {
    auto* context = reinterpret_cast<Context*>(const_cast<crypto::CertContext*>(pointer));
    return context != nullptr && context->magic == kContextMagic ? context : nullptr;
}

Store* storeOf(crypto::CertStore pointer) {
    auto* store = static_cast<Store*>(pointer);
    return store != nullptr && store->magic == kStoreMagic ? store : nullptr;
}

crypto::CertContextPtr newContext(CertEntry* entry, Store* store, std::size_t index) {
    auto* made = new (std::nothrow) Context;
    if (made == nullptr) {
        return failNull<const crypto::CertContext>(kErrorNotEnoughMemory);
    }
    retain(entry);
    made->context.certEncodingType = crypto::kX509AsnEncoding;
    made->context.certEncoded = entry->encoded.data();
    made->context.certEncodedSize = static_cast<crypto::Dword>(entry->encoded.size());
    made->context.certInfo = nullptr;
    made->context.certStore = store;
    made->magic = kContextMagic;
    made->entry = entry;
    made->index = index;
    return &made->context;
}

void closeStore(Store* store) {
    for (CertEntry* entry : store->certificates) {
        release(entry);
    }
    store->magic = 0;
    delete store;
}

Store* storeOfMessage(const SignedMessage& message, std::uint32_t& error) {
    auto* store = new (std::nothrow) Store;
    if (store == nullptr) {
        error = kErrorNotEnoughMemory;
        return nullptr;
    }
    for (const Element& certificate : message.certificates) {
        CertEntry* entry = decodeCertificate(certificate.start, certificate.size(), error);
        if (entry == nullptr) {
            closeStore(store);
            return nullptr;
        }
        store->certificates.push_back(entry);
    }
    return store;
}

bool nameDer(const X509_NAME* name, const unsigned char*& der, std::size_t& size) {
    return name != nullptr && X509_NAME_get0_der(name, &der, &size) == 1;
}

bool sameName(const X509_NAME* a, const std::uint8_t* der, std::size_t size) {
    const unsigned char* own = nullptr;
    std::size_t ownSize = 0;
    return nameDer(a, own, ownSize) && ownSize == size && std::memcmp(own, der, size) == 0;
}

bool sameName(const X509_NAME* a, const X509_NAME* b) {
    const unsigned char* der = nullptr;
    std::size_t size = 0;
    return nameDer(b, der, size) && sameName(a, der, size);
}

// The key identifier the platform gives a certificate: its subject key
// identifier, else the SHA-1 of its encoded public key info.
std::vector<std::uint8_t> keyIdentifierOf(X509* x509) {
    if (const ASN1_OCTET_STRING* ski = X509_get0_subject_key_id(x509)) {
        return std::vector<std::uint8_t>(ski->data, ski->data + ski->length);
    }
    unsigned char* der = nullptr;
    const int size = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(x509), &der);
    if (size <= 0) {
        return {};
    }
    std::vector<std::uint8_t> id(SHA_DIGEST_LENGTH);
    SHA1(der, static_cast<std::size_t>(size), id.data());
    OPENSSL_free(der);
    return id;
}

// CERT_FIND_ISSUER_OF: by the subject's authority key identifier when it has
// one, else by name.
bool isIssuerOf(X509* candidate, X509* subject) {
    if (X509_get_ext_by_NID(subject, NID_authority_key_identifier, -1) >= 0) {
        const ASN1_OCTET_STRING* keyId = X509_get0_authority_key_id(subject);
        const GENERAL_NAMES* issuers = X509_get0_authority_issuer(subject);
        const ASN1_INTEGER* serial = X509_get0_authority_serial(subject);
        if (issuers != nullptr && serial != nullptr) {
            for (int i = 0; i < sk_GENERAL_NAME_num(issuers); ++i) {
                const GENERAL_NAME* name = sk_GENERAL_NAME_value(issuers, i);
                if (name->type == GEN_DIRNAME) {
                    return sameName(X509_get_issuer_name(candidate), name->d.directoryName) &&
                           ASN1_INTEGER_cmp(X509_get0_serialNumber(candidate), serial) == 0;
                }
            }
            return false;
        }
        if (keyId != nullptr) {
            const std::vector<std::uint8_t> id = keyIdentifierOf(candidate);
            return !id.empty() && id.size() == static_cast<std::size_t>(keyId->length) &&
                   std::memcmp(id.data(), keyId->data, id.size()) == 0;
        }
    }
    return sameName(X509_get_subject_name(candidate), X509_get_issuer_name(subject));
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

// The certificate's signature, over its to-be-signed part as encoded, by key.
bool certificateSignedBy(const CertEntry& subject, EVP_PKEY* key) {
    std::uint32_t error = 0;
    Element certificate, toBeSigned, algorithm, signature;
    Der whole(subject.encoded.data(), subject.encoded.size());
    if (!whole.read(0x30, certificate, error)) {
        return false;
    }
    Der parts(certificate);
    if (!parts.read(0x30, toBeSigned, error) || !parts.read(0x30, algorithm, error) ||
        !parts.read(0x03, signature, error) || signature.length < 1 || signature.value[0] != 0) {
        return false;
    }
    const int signatureNid = algorithmNid(algorithm);
    const int keyType = keyTypeOf(signatureNid);
    int digestNid = NID_undef;
    int keyNid = NID_undef;
    if (key == nullptr || keyType == EVP_PKEY_NONE || EVP_PKEY_get_base_id(key) != keyType ||
        OBJ_find_sigid_algs(signatureNid, &digestNid, &keyNid) == 0) {
        return false;
    }
    const EVP_MD* md = EVP_get_digestbynid(digestNid);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool holds = md != nullptr && context != nullptr &&
                       EVP_DigestVerifyInit(context, nullptr, md, nullptr, key) == 1 &&
                       EVP_DigestVerify(context, signature.value + 1, signature.length - 1,
                                        toBeSigned.start, toBeSigned.size()) == 1;
    EVP_MD_CTX_free(context);
    return holds;
}

// CertVerifyTimeValidity: NotBefore <= now <= NotAfter.
bool validNow(X509* x509) {
    const std::time_t now = std::time(nullptr);
    const int afterStart = ASN1_TIME_cmp_time_t(X509_get0_notBefore(x509), now);
    const int beforeEnd = ASN1_TIME_cmp_time_t(X509_get0_notAfter(x509), now);
    return (afterStart == -1 || afterStart == 0) && (beforeEnd == 0 || beforeEnd == 1);
}

bool sameSerial(X509* x509, const Element& serial) {
    const unsigned char* p = serial.start;
    ASN1_INTEGER* value = d2i_ASN1_INTEGER(nullptr, &p, static_cast<long>(serial.size()));
    const bool same =
        value != nullptr && ASN1_INTEGER_cmp(X509_get0_serialNumber(x509), value) == 0;
    ASN1_INTEGER_free(value);
    return same;
}

// The signer's certificate among the message's own.
std::size_t findSigner(const Store& store, const SignerInfo& signer) {
    for (std::size_t i = 0; i < store.certificates.size(); ++i) {
        X509* x509 = store.certificates[i]->x509;
        if (signer.byKeyId) {
            const std::vector<std::uint8_t> id = keyIdentifierOf(x509);
            if (signer.keyId.contentsEqual(id.data(), id.size())) {
                return i;
            }
        } else if (sameName(X509_get_issuer_name(x509), signer.issuer.start,
                            signer.issuer.size()) &&
                   sameSerial(x509, signer.serial)) {
            return i;
        }
    }
    return store.certificates.size();
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
            return kCryptEAuthAttrMissing;
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

}  // namespace

crypto::Bool CryptVerifyMessageSignature(crypto::VerifyMessagePara* verifyPara,
                                         crypto::Dword signerIndex, const crypto::Byte* signedBlob,
                                         crypto::Dword signedBlobSize, crypto::Byte* decoded,
                                         crypto::Dword* decodedSize,
                                         crypto::CertContextPtr* signerCert) {
    if (signerCert != nullptr) {
        *signerCert = nullptr;
    }
    const auto fail = [&](std::uint32_t error) {
        if (decodedSize != nullptr) {
            *decodedSize = 0;
        }
        return failWith(error);
    };
    if (verifyPara == nullptr || verifyPara->size != sizeof(crypto::VerifyMessagePara) ||
        (verifyPara->msgAndCertEncodingType & crypto::kPkcs7AsnEncoding) == 0 ||
        verifyPara->getSignerCertificate != nullptr) {
        return fail(crypto::kEInvalidArg);
    }
    SignedMessage message;
    std::uint32_t error = 0;
    if (!parseSignedMessage(signedBlob, signedBlobSize, message, error)) {
        return fail(error);
    }
    if (signerIndex >= message.signerInfos.size()) {
        return fail(crypto::kCryptENoSigner);
    }
    SignerInfo signer;
    if (!parseSignerInfo(message.signerInfos[signerIndex], signer, error)) {
        return fail(error);
    }
    Store* store = storeOfMessage(message, error);
    if (store == nullptr) {
        return fail(error);
    }
    const std::size_t index = findSigner(*store, signer);
    if (index == store->certificates.size()) {
        closeStore(store);
        return fail(crypto::kCryptENotFound);
    }
    error = checkSignerSignature(message, signer, store->certificates[index]->x509);
    if (error != kErrorSuccess) {
        closeStore(store);
        return fail(error);
    }
    if (message.contentSize > 0xFFFFFFFFu) {
        closeStore(store);
        return fail(crypto::kCryptEAsn1Corrupt);
    }
    const auto contentSize = static_cast<crypto::Dword>(message.contentSize);
    if (decoded != nullptr) {
        if (decodedSize == nullptr || *decodedSize < contentSize) {
            if (decodedSize != nullptr) {
                *decodedSize = contentSize;
            }
            closeStore(store);
            return failWith(kErrorMoreData);
        }
        crypto::Byte* out = decoded;
        for (const Piece& piece : message.content) {
            if (piece.size != 0) {
                std::memcpy(out, piece.data, piece.size);
                out += piece.size;
            }
        }
    }
    if (decodedSize != nullptr) {
        *decodedSize = contentSize;
    }
    if (signerCert != nullptr) {
        *signerCert = newContext(store->certificates[index], nullptr, 0);
        if (*signerCert == nullptr) {
            closeStore(store);
            return fail(kErrorNotEnoughMemory);
        }
    }
    closeStore(store);
    return 1;
}

crypto::CertStore CryptGetMessageCertificates(crypto::Dword encodingType, crypto::CryptProv prov,
                                              crypto::Dword flags, const crypto::Byte* signedBlob,
                                              crypto::Dword signedBlobSize) {
    (void)prov;
    (void)flags;
    if ((encodingType & crypto::kPkcs7AsnEncoding) == 0) {
        return failNull<void>(crypto::kEInvalidArg);
    }
    SignedMessage message;
    std::uint32_t error = 0;
    if (!parseSignedMessage(signedBlob, signedBlobSize, message, error)) {
        return failNull<void>(error);
    }
    Store* store = storeOfMessage(message, error);
    if (store == nullptr) {
        return failNull<void>(error);
    }
    return store;
}

crypto::CertContextPtr CertCreateCertificateContext(crypto::Dword encodingType,
                                                    const crypto::Byte* encoded,
                                                    crypto::Dword encodedSize) {
    if ((encodingType & crypto::kX509AsnEncoding) == 0 || encoded == nullptr) {
        return failNull<const crypto::CertContext>(crypto::kEInvalidArg);
    }
    std::uint32_t error = 0;
    CertEntry* entry = decodeCertificate(encoded, encodedSize, error);
    if (entry == nullptr) {
        return failNull<const crypto::CertContext>(error);
    }
    crypto::CertContextPtr context = newContext(entry, nullptr, 0);
    release(entry);
    return context;
}

crypto::CertContextPtr CertFindCertificateInStore(crypto::CertStore storeHandle,
                                                  crypto::Dword encodingType,
                                                  crypto::Dword findFlags, crypto::Dword findType,
                                                  const void* findPara,
                                                  crypto::CertContextPtr previous) {
    (void)encodingType;
    (void)findFlags;
    Store* store = storeOf(storeHandle);
    Context* after = previous != nullptr ? contextOf(previous) : nullptr;
    if (store == nullptr || (previous != nullptr && after == nullptr)) {
        return failNull<const crypto::CertContext>(crypto::kEInvalidArg);
    }
    const std::size_t start = after != nullptr ? after->index + 1 : 0;
    if (previous != nullptr) {
        CertFreeCertificateContext(previous);
    }
    Context* subject = nullptr;
    if (findType == crypto::kCertFindIssuerOf) {
        subject = contextOf(static_cast<crypto::CertContextPtr>(findPara));
        if (subject == nullptr) {
            return failNull<const crypto::CertContext>(crypto::kEInvalidArg);
        }
    } else if (findType != kCertFindAny) {
        return failNull<const crypto::CertContext>(crypto::kEInvalidArg);
    }
    for (std::size_t i = start; i < store->certificates.size(); ++i) {
        CertEntry* candidate = store->certificates[i];
        if (subject == nullptr || isIssuerOf(candidate->x509, subject->entry->x509)) {
            return newContext(candidate, store, i);
        }
    }
    return failNull<const crypto::CertContext>(crypto::kCryptENotFound);
}

crypto::Bool CertVerifySubjectCertificateContext(crypto::CertContextPtr subjectContext,
                                                 crypto::CertContextPtr issuerContext,
                                                 crypto::Dword* flags) {
    Context* subject = contextOf(subjectContext);
    Context* issuer = issuerContext != nullptr ? contextOf(issuerContext) : nullptr;
    constexpr crypto::Dword kKnown = crypto::kCertStoreSignatureFlag |
                                     crypto::kCertStoreTimeValidityFlag | kCertStoreRevocationFlag;
    if (subject == nullptr || flags == nullptr || (*flags & ~kKnown) != 0 ||
        (issuerContext != nullptr && issuer == nullptr)) {
        return failWith(crypto::kEInvalidArg);
    }
    if ((*flags & (crypto::kCertStoreSignatureFlag | kCertStoreRevocationFlag)) != 0 &&
        issuer == nullptr) {
        return failWith(crypto::kEInvalidArg);
    }
    if ((*flags & crypto::kCertStoreSignatureFlag) != 0 &&
        certificateSignedBy(*subject->entry, X509_get0_pubkey(issuer->entry->x509))) {
        *flags &= ~crypto::kCertStoreSignatureFlag;
    }
    if ((*flags & crypto::kCertStoreTimeValidityFlag) != 0 && validNow(subject->entry->x509)) {
        *flags &= ~crypto::kCertStoreTimeValidityFlag;
    }
    if ((*flags & kCertStoreRevocationFlag) != 0) {
        // The machine keeps no revocation lists.
        *flags |= kCertStoreNoCrlFlag;
    }
    return 1;
}

crypto::Bool CertFreeCertificateContext(crypto::CertContextPtr pointer) {
    if (pointer == nullptr) {
        return 1;
    }
    Context* context = contextOf(pointer);
    if (context == nullptr) {
        return failWith(crypto::kEInvalidArg);
    }
    release(context->entry);
    context->magic = 0;
    delete context;
    return 1;
}

crypto::Bool CertCloseStore(crypto::CertStore handle, crypto::Dword flags) {
    (void)flags;
    if (handle == nullptr) {
        return 1;
    }
    Store* store = storeOf(handle);
    if (store == nullptr) {
        return failWith(crypto::kEInvalidArg);
    }
    closeStore(store);
    return 1;
}

}  // namespace korin::standin
