// advapi32's hashing functions on the stand-in machine, over OpenSSL digests.

#include "platform/last_error.h"
#include "platform/error_codes.h"
#include "platform/standin/system_exports.h"

#include <openssl/evp.h>

#include <cstring>
#include <new>

namespace korin::standin {

namespace {

constexpr std::uint32_t kProviderMagic = 0x50524F56;  // "PROV"
constexpr std::uint32_t kHashMagic = 0x48415348;      // "HASH"
constexpr crypto::Dword kHpAlgId = 1;
constexpr crypto::Dword kProvRsaFull = 1;

struct Provider {
    std::uint32_t magic = kProviderMagic;
};

struct Hash {
    std::uint32_t magic = kHashMagic;
    crypto::AlgId algId = 0;
    EVP_MD_CTX* context = nullptr;
    bool finished = false;
    unsigned char value[EVP_MAX_MD_SIZE] = {};
    unsigned int valueSize = 0;
    ~Hash() { EVP_MD_CTX_free(context); }
};

Provider* providerOf(crypto::CryptProv handle) {
    auto* provider = reinterpret_cast<Provider*>(handle);
    return provider != nullptr && provider->magic == kProviderMagic ? provider : nullptr;
}

Hash* hashOf(crypto::CryptHash handle) {
    auto* hash = reinterpret_cast<Hash*>(handle);
    return hash != nullptr && hash->magic == kHashMagic ? hash : nullptr;
}

const EVP_MD* digestOf(crypto::AlgId algId) {
    switch (algId) {
        case 0x8003:
            return EVP_md5();
        case 0x8004:
            return EVP_sha1();
        case 0x800C:
            return EVP_sha256();
        case 0x800D:
            return EVP_sha384();
        case 0x800E:
            return EVP_sha512();
        default:
            return nullptr;
    }
}

crypto::Bool failWith(std::uint32_t error) {
    setLastError(error);
    return 0;
}

}  // namespace

crypto::Bool CryptAcquireContextW(crypto::CryptProv* prov, const char16_t* container,
                                  const char16_t* provider, crypto::Dword provType,
                                  crypto::Dword flags) {
    (void)container;
    (void)provider;
    if (prov == nullptr) {
        return failWith(kErrorInvalidParameter);
    }
    if (provType != crypto::kProvRsaAes && provType != kProvRsaFull) {
        return failWith(crypto::kNteProvTypeNotDef);
    }
    if (flags != crypto::kCryptVerifyContext && flags != crypto::kCryptNewKeyset && flags != 0) {
        return failWith(crypto::kNteBadFlags);
    }
    auto* created = new (std::nothrow) Provider;
    if (created == nullptr) {
        return failWith(kErrorNotEnoughMemory);
    }
    *prov = reinterpret_cast<crypto::CryptProv>(created);
    return 1;
}

crypto::Bool CryptReleaseContext(crypto::CryptProv prov, crypto::Dword flags) {
    Provider* provider = providerOf(prov);
    if (provider == nullptr) {
        return failWith(kErrorInvalidParameter);
    }
    if (flags != 0) {
        return failWith(crypto::kNteBadFlags);
    }
    provider->magic = 0;
    delete provider;
    return 1;
}

crypto::Bool CryptCreateHash(crypto::CryptProv prov, crypto::AlgId algId, crypto::CryptKey key,
                             crypto::Dword flags, crypto::CryptHash* hash) {
    if (providerOf(prov) == nullptr || hash == nullptr) {
        return failWith(kErrorInvalidParameter);
    }
    const EVP_MD* md = digestOf(algId);
    if (md == nullptr) {
        return failWith(crypto::kNteBadAlgId);
    }
    if (key != 0) {
        return failWith(crypto::kNteBadKey);
    }
    if (flags != 0) {
        return failWith(crypto::kNteBadFlags);
    }
    auto* created = new (std::nothrow) Hash;
    if (created == nullptr) {
        return failWith(kErrorNotEnoughMemory);
    }
    created->algId = algId;
    created->context = EVP_MD_CTX_new();
    if (created->context == nullptr || EVP_DigestInit_ex(created->context, md, nullptr) != 1) {
        delete created;
        return failWith(kErrorNotEnoughMemory);
    }
    *hash = reinterpret_cast<crypto::CryptHash>(created);
    return 1;
}

crypto::Bool CryptHashData(crypto::CryptHash handle, const crypto::Byte* data,
                           crypto::Dword dataSize, crypto::Dword flags) {
    Hash* hash = hashOf(handle);
    if (hash == nullptr) {
        return failWith(kErrorInvalidParameter);
    }
    if (flags != 0) {
        return failWith(crypto::kNteBadFlags);
    }
    if (hash->finished) {
        return failWith(crypto::kNteBadHashState);
    }
    if (dataSize != 0 && EVP_DigestUpdate(hash->context, data, dataSize) != 1) {
        return failWith(crypto::kNteBadHash);
    }
    return 1;
}

crypto::Bool CryptGetHashParam(crypto::CryptHash handle, crypto::Dword param, crypto::Byte* data,
                               crypto::Dword* dataSize, crypto::Dword flags) {
    Hash* hash = hashOf(handle);
    if (hash == nullptr || dataSize == nullptr) {
        return failWith(kErrorInvalidParameter);
    }
    if (flags != 0) {
        return failWith(crypto::kNteBadFlags);
    }
    const auto copyOut = [&](const void* value, crypto::Dword size) -> crypto::Bool {
        if (data == nullptr) {
            *dataSize = size;
            return 1;
        }
        if (*dataSize < size) {
            *dataSize = size;
            return failWith(kErrorMoreData);
        }
        std::memcpy(data, value, size);
        *dataSize = size;
        return 1;
    };
    const crypto::Dword digestSize =
        static_cast<crypto::Dword>(EVP_MD_get_size(EVP_MD_CTX_get0_md(hash->context)));
    switch (param) {
        case kHpAlgId:
            return copyOut(&hash->algId, sizeof(hash->algId));
        case crypto::kHpHashSize:
            return copyOut(&digestSize, sizeof(digestSize));
        case crypto::kHpHashVal:
            if (data != nullptr && *dataSize < digestSize) {
                *dataSize = digestSize;
                return failWith(kErrorMoreData);
            }
            if (!hash->finished && data != nullptr) {
                if (EVP_DigestFinal_ex(hash->context, hash->value, &hash->valueSize) != 1) {
                    return failWith(crypto::kNteBadHash);
                }
                hash->finished = true;
            }
            return copyOut(hash->value, digestSize);
        default:
            return failWith(crypto::kNteBadType);
    }
}

crypto::Bool CryptDestroyHash(crypto::CryptHash handle) {
    Hash* hash = hashOf(handle);
    if (hash == nullptr) {
        return failWith(kErrorInvalidParameter);
    }
    hash->magic = 0;
    delete hash;
    return 1;
}

}  // namespace korin::standin
