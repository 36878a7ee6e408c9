#pragma once

// The stand-in machine's CryptoAPI and Wow64 functions, with the platform's
// names and signatures. They check what the platform's functions check and
// fail the same way (false or null and the thread's last error). Built on
// OpenSSL primitives only: message parsing, digests and single signature
// checks; never a chain verification of OpenSSL's own.

#include "platform/crypto_api.h"

namespace korin::standin {

// crypt32
crypto::Bool CryptVerifyMessageSignature(crypto::VerifyMessagePara* verifyPara,
                                         crypto::Dword signerIndex, const crypto::Byte* signedBlob,
                                         crypto::Dword signedBlobSize, crypto::Byte* decoded,
                                         crypto::Dword* decodedSize,
                                         crypto::CertContextPtr* signerCert);
crypto::CertStore CryptGetMessageCertificates(crypto::Dword encodingType, crypto::CryptProv prov,
                                              crypto::Dword flags, const crypto::Byte* signedBlob,
                                              crypto::Dword signedBlobSize);
crypto::CertContextPtr CertCreateCertificateContext(crypto::Dword encodingType,
                                                    const crypto::Byte* encoded,
                                                    crypto::Dword encodedSize);
crypto::CertContextPtr CertFindCertificateInStore(crypto::CertStore store,
                                                  crypto::Dword encodingType,
                                                  crypto::Dword findFlags, crypto::Dword findType,
                                                  const void* findPara,
                                                  crypto::CertContextPtr previous);
crypto::Bool CertVerifySubjectCertificateContext(crypto::CertContextPtr subject,
                                                 crypto::CertContextPtr issuer,
                                                 crypto::Dword* flags);
crypto::Bool CertFreeCertificateContext(crypto::CertContextPtr context);
crypto::Bool CertCloseStore(crypto::CertStore store, crypto::Dword flags);

// advapi32
crypto::Bool CryptAcquireContextW(crypto::CryptProv* prov, const char16_t* container,
                                  const char16_t* provider, crypto::Dword provType,
                                  crypto::Dword flags);
crypto::Bool CryptCreateHash(crypto::CryptProv prov, crypto::AlgId algId, crypto::CryptKey key,
                             crypto::Dword flags, crypto::CryptHash* hash);
crypto::Bool CryptHashData(crypto::CryptHash hash, const crypto::Byte* data, crypto::Dword dataSize,
                           crypto::Dword flags);
crypto::Bool CryptGetHashParam(crypto::CryptHash hash, crypto::Dword param, crypto::Byte* data,
                               crypto::Dword* dataSize, crypto::Dword flags);
crypto::Bool CryptDestroyHash(crypto::CryptHash hash);
crypto::Bool CryptReleaseContext(crypto::CryptProv prov, crypto::Dword flags);

// kernel32: the calling thread's switch of the machine's Wow64 redirection.
// On a 32-bit machine there is nothing to switch and they fail.
crypto::Bool Wow64DisableWow64FsRedirection(void** oldValue);
crypto::Bool Wow64RevertWow64FsRedirection(void* oldValue);
crypto::Bool Wow64DisableWow64FsRedirection32(void** oldValue);
crypto::Bool Wow64RevertWow64FsRedirection32(void* oldValue);

}  // namespace korin::standin
