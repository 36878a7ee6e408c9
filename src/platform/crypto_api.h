#pragma once

// The CryptoAPI and Wow64 functions the package-trust code calls through
// tables bound at run time, typed as the platform declares them. The types
// mirror the platform's layouts without <windows.h>, so the core compiles on
// both builds; on the Windows build the entries are the real exports, and
// crypto_api_win.cpp holds each type here against the SDK's declaration: a
// new entry gets its line there.

#include "platform/error_codes.h"

#include <cstdint>

#if defined(_WIN32)
#define KORIN_WINAPI __stdcall
#else
#define KORIN_WINAPI
#endif

namespace korin::crypto {

using Bool = int;                  // BOOL
using Dword = std::uint32_t;       // DWORD
using Byte = std::uint8_t;         // BYTE
using AlgId = std::uint32_t;       // ALG_ID
using CryptProv = std::uintptr_t;  // HCRYPTPROV
using CryptKey = std::uintptr_t;   // HCRYPTKEY
using CryptHash = std::uintptr_t;  // HCRYPTHASH
using CertStore = void*;           // HCERTSTORE
using ModuleHandle = void*;        // HMODULE
// What GetProcAddress hands back; cast to the entry's own type.
using ProcAddress = void (*)();

struct CertInfo;  // CERT_INFO: only passed through

// CERT_CONTEXT.
struct CertContext {
    Dword certEncodingType;
    Byte* certEncoded;
    Dword certEncodedSize;
    CertInfo* certInfo;
    CertStore certStore;
};
using CertContextPtr = const CertContext*;  // PCCERT_CONTEXT

using GetSignerCertificateFn = CertContextPtr(KORIN_WINAPI*)(void* arg, Dword encodingType,
                                                             CertInfo* signerId,
                                                             CertStore messageStore);

// CRYPT_VERIFY_MESSAGE_PARA.
struct VerifyMessagePara {
    Dword size;
    Dword msgAndCertEncodingType;
    CryptProv cryptProv;
    GetSignerCertificateFn getSignerCertificate;
    void* getArg;
};

inline constexpr Dword kMessageEncoding = 0x00010001;  // X509_ASN_ENCODING | PKCS_7_ASN_ENCODING
inline constexpr Dword kX509AsnEncoding = 0x00000001;
inline constexpr Dword kPkcs7AsnEncoding = 0x00010000;
inline constexpr Dword kCertFindIssuerOf = 0x000C0000;  // CERT_FIND_ISSUER_OF
inline constexpr Dword kCertStoreSignatureFlag = 0x1;
inline constexpr Dword kCertStoreTimeValidityFlag = 0x2;
inline constexpr Dword kProvRsaAes = 24;
inline constexpr Dword kCryptVerifyContext = 0xF0000000;
inline constexpr Dword kCryptNewKeyset = 0x8;
inline constexpr AlgId kCalgSha256 = 0x800C;
inline constexpr Dword kHpHashVal = 2;
inline constexpr Dword kHpHashSize = 4;

using CryptVerifyMessageSignatureFn = Bool(KORIN_WINAPI*)(VerifyMessagePara* verifyPara,
                                                          Dword signerIndex, const Byte* signedBlob,
                                                          Dword signedBlobSize, Byte* decoded,
                                                          Dword* decodedSize,
                                                          CertContextPtr* signerCert);
using CryptGetMessageCertificatesFn = CertStore(KORIN_WINAPI*)(Dword encodingType, CryptProv prov,
                                                               Dword flags, const Byte* signedBlob,
                                                               Dword signedBlobSize);
using CertCreateCertificateContextFn = CertContextPtr(KORIN_WINAPI*)(Dword encodingType,
                                                                     const Byte* encoded,
                                                                     Dword encodedSize);
using CertFindCertificateInStoreFn = CertContextPtr(KORIN_WINAPI*)(CertStore store,
                                                                   Dword encodingType,
                                                                   Dword findFlags, Dword findType,
                                                                   const void* findPara,
                                                                   CertContextPtr previous);
using CertVerifySubjectCertificateContextFn = Bool(KORIN_WINAPI*)(CertContextPtr subject,
                                                                  CertContextPtr issuer,
                                                                  Dword* flags);
using CertFreeCertificateContextFn = Bool(KORIN_WINAPI*)(CertContextPtr context);

using CryptAcquireContextWFn = Bool(KORIN_WINAPI*)(CryptProv* prov, const char16_t* container,
                                                   const char16_t* provider, Dword provType,
                                                   Dword flags);
using CryptCreateHashFn = Bool(KORIN_WINAPI*)(CryptProv prov, AlgId algId, CryptKey key,
                                              Dword flags, CryptHash* hash);
using CryptHashDataFn = Bool(KORIN_WINAPI*)(CryptHash hash, const Byte* data, Dword dataSize,
                                            Dword flags);
using CryptGetHashParamFn = Bool(KORIN_WINAPI*)(CryptHash hash, Dword param, Byte* data,
                                                Dword* dataSize, Dword flags);

using Wow64DisableWow64FsRedirectionFn = Bool(KORIN_WINAPI*)(void** oldValue);
using Wow64RevertWow64FsRedirectionFn = Bool(KORIN_WINAPI*)(void* oldValue);

}  // namespace korin::crypto
