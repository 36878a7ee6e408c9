// crypt32's message and certificate functions on the stand-in machine. The
// message is read in place (no copy of the package): its certificates are
// decoded one by one with OpenSSL, and signatures are checked one at a time
// with the key the platform would use. Nothing else is checked: no purpose,
// key usage, basic constraints, revocation or chain policy.

#include "platform/last_error.h"
#include "platform/standin/cert_store.h"
#include "platform/standin/system_exports.h"
#include "platform/error_codes.h"

#include <openssl/x509.h>

#include <cstring>
#include <new>

namespace korin::standin {

using namespace crypt32;

namespace {

constexpr crypto::Dword kCertStoreRevocationFlag = 0x4;
constexpr crypto::Dword kCertStoreNoCrlFlag = 0x10000;
constexpr crypto::Dword kCertFindAny = 0;

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
