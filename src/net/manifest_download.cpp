#include "net/manifest_download.h"

#include "manifest/manifest_readers.h"
#include "net/download_deadline.h"
#include "net/http.h"
#include "platform/last_error.h"
#include "platform/platform.h"
#include "settings/runtime_config.h"
#include "support/log.h"
#include "support/log_codes.h"

#include <cstring>
#include <map>
#include <new>

namespace korin {

namespace {

constexpr std::int32_t kLogCurrentMajorNotRead = logCode(1476);

// The log codes of one kind of manifest request.
struct RequestCodes {
    std::int32_t opening;  // info, with the path
    std::int32_t noSession;
    std::int32_t noConnection;
    std::int32_t noRequest;
    std::int32_t notSent;
    std::int32_t notReceived;
    std::int32_t notAvailable;
    std::int32_t notRead;
    std::int32_t noMemory;
    std::int32_t noResponse;
};
constexpr RequestCodes kManifestCodes{logCode(1630), logCode(1400), logCode(1401), logCode(1402),
                                      logCode(1403), logCode(1407), logCode(1404), logCode(1406),
                                      logCode(1405), logCode(1408)};
constexpr RequestCodes kCurrentMajorCodes{
    logCode(1631), logCode(1467), logCode(1468), logCode(1469), logCode(1470),
    logCode(1474), logCode(1471), logCode(1472), logCode(1473), logCode(1475)};

// Reads until the server ends the body, no further than the manifest bound
// in bytes read (a chunk keeps only its bytes up to its first zero byte, so
// the body's own size cannot bound an endless stream) and no longer than the
// deadline, which ends the body like a read that timed out.
void readBody(const Platform& platform, HttpRequest& request, std::string& body,
              const RequestCodes& codes, const DownloadDeadline& deadline) {
    std::uint64_t bytesSeen = 0;
    std::uint32_t size = 0;
    do {
        if (deadline.expired()) {
            setLastError(kErrorWinHttpTimeout);
            logLastError(platform, Warning, codes.notRead);
            break;
        }
        size = 0;
        if (!request.queryDataAvailable(size)) {
            logLastError(platform, Warning, codes.notAvailable);
            size = 0;
        }
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[std::size_t{size} + 1]());
        if (!buffer) {
            writeLog(platform, Warning, logCodeMessage(codes.noMemory));
            break;
        }
        std::uint32_t bytesRead = 0;
        if (!request.readData(buffer.get(), size, bytesRead)) {
            logLastError(platform, Warning, codes.notRead);
            continue;
        }
        try {
            body.append(buffer.get(), std::strlen(buffer.get()));
        } catch (const std::bad_alloc&) {
            writeLog(platform, Warning, logCodeMessage(codes.noMemory));
            break;
        }
        bytesSeen += bytesRead;
        if (bytesSeen > kManifestMaxBytes) {
            break;
        }
    } while (size > 0);
}

bool getText(const Platform& platform, std::string& body, const std::wstring& path,
             const RequestCodes& codes) {
    const DownloadDeadline deadline(platform.clock, kManifestDownloadLimitMs);
    std::unique_ptr<HttpSession> session =
        platform.http->open(kManifestUserAgent, kHttpAccessTypeDefaultProxy);
    if (!session) {
        logLastError(platform, Warning, codes.noSession);
    }
    std::unique_ptr<HttpConnection> connection;
    if (session) {
        connection = session->connect(getServerDomain(), kHttpsPort);
    }
    writeLog(platform, Info, logCodeMessage(codes.opening, path));
    std::unique_ptr<HttpRequest> request;
    if (!connection) {
        logLastError(platform, Warning, codes.noConnection);
    } else {
        request = connection->openRequest(L"GET", path, kHttpFlagSecure);
    }
    bool sent = false;
    if (!request) {
        logLastError(platform, Warning, codes.noRequest);
    } else {
        sent = request->sendRequest();
    }
    bool received = false;
    if (!sent) {
        logLastError(platform, Warning, codes.notSent);
    } else {
        received = request->receiveResponse();
    }
    if (!received) {
        logLastError(platform, Warning, codes.notReceived);
    } else {
        readBody(platform, *request, body, codes, deadline);
    }
    request.reset();
    connection.reset();
    session.reset();
    if (!received) {
        writeLog(platform, Warning, logCodeMessage(codes.noResponse));
        return false;
    }
    return true;
}

}  // namespace

bool httpsGetText(const Platform& platform, std::string& body, const std::wstring& path) {
    return getText(platform, body, path, kManifestCodes);
}

bool fetchCurrentMajor(const Platform& platform, std::unique_ptr<PlayerUpdateInfo>& activeX,
                       std::unique_ptr<PlayerUpdateInfo>& plugin,
                       std::unique_ptr<PlayerUpdateInfo>& pepper,
                       std::unique_ptr<std::uint32_t>& checkFrequency) {
    std::string body;
    if (!getText(platform, body, kCurrentMajorPath, kCurrentMajorCodes)) {
        return false;
    }
    if (!parseCurrentMajor(platform, body.c_str(), activeX, plugin, pepper, checkFrequency)) {
        writeLog(platform, Warning, logCodeMessage(kLogCurrentMajorNotRead));
        return false;
    }
    return true;
}

bool fetchManifests(const Platform& platform, PlayerUpdateInfo* activeX, PlayerUpdateInfo* plugin,
                    PlayerUpdateInfo* pepper, std::uint32_t* checkFrequency, int mode,
                    const FileDigester& digester) {
    std::map<std::wstring, std::string> cache;
    // Each installed file is digested once per call; without memory for
    // that, once per patch entry as before.
    FileDigester onceEach;
    try {
        onceEach = onceEachDigester(digester);
    } catch (const std::bad_alloc&) {
    }
    const FileDigester& patchDigester = onceEach ? onceEach : digester;
    for (PlayerUpdateInfo* record : {activeX, plugin, pepper}) {
        if (record == nullptr) {
            continue;
        }
        const bool wanted = mode == kFetchVersionManifests
                                ? isPlayerInstalled(platform, record->type)
                                : needsUpdate(platform, *record);
        if (!wanted) {
            continue;
        }
        const std::wstring& path =
            mode == kFetchVersionManifests ? record->versionXmlPath : record->patchXmlPath;
        try {
            std::string& body = cache[path];
            if (body.empty()) {
                httpsGetText(platform, body, path);
            }
            if (mode == kFetchVersionManifests) {
                parseVersionManifest(platform, body.c_str(), record, checkFrequency);
            } else {
                parsePatchManifest(platform, body.c_str(), record, patchDigester);
            }
        } catch (const std::bad_alloc&) {
            // No memory for the cache entry: this type goes without its manifest.
        }
    }
    return true;
}

}  // namespace korin
