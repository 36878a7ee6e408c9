#include "update/trust_digester.h"

#include "trust/package_trust.h"

namespace korin {

static_assert(kDigestBufferSize == kDigestTextSize);

FileDigester packageTrustDigester(const Platform& platform) {
    return [&platform](const std::wstring& path, char* digest, std::uint32_t& errorCode,
                       std::uint32_t& systemError, bool disableRedirection) {
        PackageTrust trust(platform);
        return trust.fileDigest(path, digest, errorCode, systemError, disableRedirection);
    };
}

}  // namespace korin
