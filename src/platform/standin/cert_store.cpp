#include "platform/standin/cert_store.h"

#include "platform/error_codes.h"

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <new>

namespace korin::standin::crypt32 {

namespace {

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

}  // namespace

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

}  // namespace korin::standin::crypt32
