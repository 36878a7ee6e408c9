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

static_assert(sameCall<GetSignerCertificateFn, PFN_CRYPT_GET_SIGNER_CERTIFICATE>);

// Each entry's type is named after its export, so the pairs cannot be crossed.
#define KORIN_CALLS_AS_SDK(name) static_assert(sameCall<name##Fn, decltype(&::name)>, #name)
KORIN_CALLS_AS_SDK(CryptVerifyMessageSignature);
KORIN_CALLS_AS_SDK(CryptGetMessageCertificates);
KORIN_CALLS_AS_SDK(CertCreateCertificateContext);
KORIN_CALLS_AS_SDK(CertFindCertificateInStore);
KORIN_CALLS_AS_SDK(CertVerifySubjectCertificateContext);
KORIN_CALLS_AS_SDK(CertFreeCertificateContext);
KORIN_CALLS_AS_SDK(CryptAcquireContextW);
KORIN_CALLS_AS_SDK(CryptCreateHash);
KORIN_CALLS_AS_SDK(CryptHashData);
KORIN_CALLS_AS_SDK(CryptGetHashParam);
KORIN_CALLS_AS_SDK(Wow64DisableWow64FsRedirection);
KORIN_CALLS_AS_SDK(Wow64RevertWow64FsRedirection);
#undef KORIN_CALLS_AS_SDK

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
