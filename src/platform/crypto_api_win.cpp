// The hand-declared CryptoAPI and Wow64 types of crypto_api.h held against
// the SDK's declarations: a type that no longer calls the export as the SDK
// does (convention, argument count or sizes) stops the Windows build here.

#include "platform/call_abi_win.h"
#include "platform/crypto_api.h"

#include <windows.h>

#include <wincrypt.h>

#include <cstddef>

namespace korin::crypto {

using abi::sameCall;

// clang-format off
static_assert(sameCall<GetSignerCertificateFn, PFN_CRYPT_GET_SIGNER_CERTIFICATE>, "PFN_CRYPT_GET_SIGNER_CERTIFICATE");
static_assert(sameCall<CryptVerifyMessageSignatureFn, decltype(&::CryptVerifyMessageSignature)>, "CryptVerifyMessageSignature");
static_assert(sameCall<CryptGetMessageCertificatesFn, decltype(&::CryptGetMessageCertificates)>, "CryptGetMessageCertificates");
static_assert(sameCall<CertCreateCertificateContextFn, decltype(&::CertCreateCertificateContext)>, "CertCreateCertificateContext");
static_assert(sameCall<CertFindCertificateInStoreFn, decltype(&::CertFindCertificateInStore)>, "CertFindCertificateInStore");
static_assert(sameCall<CertVerifySubjectCertificateContextFn, decltype(&::CertVerifySubjectCertificateContext)>, "CertVerifySubjectCertificateContext");
static_assert(sameCall<CertFreeCertificateContextFn, decltype(&::CertFreeCertificateContext)>, "CertFreeCertificateContext");
static_assert(sameCall<CryptAcquireContextWFn, decltype(&::CryptAcquireContextW)>, "CryptAcquireContextW");
static_assert(sameCall<CryptCreateHashFn, decltype(&::CryptCreateHash)>, "CryptCreateHash");
static_assert(sameCall<CryptHashDataFn, decltype(&::CryptHashData)>, "CryptHashData");
static_assert(sameCall<CryptGetHashParamFn, decltype(&::CryptGetHashParam)>, "CryptGetHashParam");
static_assert(sameCall<Wow64DisableWow64FsRedirectionFn, decltype(&::Wow64DisableWow64FsRedirection)>, "Wow64DisableWow64FsRedirection");
static_assert(sameCall<Wow64RevertWow64FsRedirectionFn, decltype(&::Wow64RevertWow64FsRedirection)>, "Wow64RevertWow64FsRedirection");
// clang-format on

// The structures the calls read and write, field by field.
static_assert(sizeof(VerifyMessagePara) == sizeof(CRYPT_VERIFY_MESSAGE_PARA));
static_assert(offsetof(VerifyMessagePara, cryptProv) ==
              offsetof(CRYPT_VERIFY_MESSAGE_PARA, hCryptProv));
static_assert(offsetof(VerifyMessagePara, getSignerCertificate) ==
              offsetof(CRYPT_VERIFY_MESSAGE_PARA, pfnGetSignerCertificate));
static_assert(offsetof(VerifyMessagePara, getArg) == offsetof(CRYPT_VERIFY_MESSAGE_PARA, pvGetArg));
static_assert(sizeof(CertContext) == sizeof(CERT_CONTEXT));
static_assert(offsetof(CertContext, certEncoded) == offsetof(CERT_CONTEXT, pbCertEncoded));
static_assert(offsetof(CertContext, certEncodedSize) == offsetof(CERT_CONTEXT, cbCertEncoded));
static_assert(offsetof(CertContext, certInfo) == offsetof(CERT_CONTEXT, pCertInfo));
static_assert(offsetof(CertContext, certStore) == offsetof(CERT_CONTEXT, hCertStore));
static_assert(sizeof(CryptProv) == sizeof(HCRYPTPROV));

}  // namespace korin::crypto
