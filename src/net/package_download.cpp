#include "net/package_download.h"

#include "net/http.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/guid.h"
#include "platform/last_error.h"
#include "platform/platform.h"
#include "platform/error_codes.h"
#include "settings/runtime_config.h"
#include "support/log.h"
#include "support/log_codes.h"
#include "ground/text.h"
#include "trust/package_trust.h"

#include <limits>
#include <new>
#include <string_view>
#include <vector>

namespace korin {

namespace {

// Log codes of a package download.
constexpr std::int32_t kFullPackageCodes[] = {logCode(1600), logCode(1601),
                                              logCode(1635)};  // ActiveX, Plugin, Pepper
constexpr std::int32_t kPatchPackageCodes[] = {logCode(1636), logCode(1637),
                                               logCode(1638)};  // ActiveX, Plugin, Pepper
constexpr std::int32_t kLogRequestFailed = logCode(1214);
constexpr std::int32_t kLogNoTempBase = logCode(1201);
constexpr std::int32_t kLogGuidNotText = logCode(1425);
constexpr std::int32_t kLogTempNameFallback = logCode(1426);
constexpr std::int32_t kLogTempNameFailed = logCode(1203);
constexpr std::int32_t kLogTempNameNotDeleted = logCode(1205);
constexpr std::int32_t kLogFolderNotCreated = logCode(1206);
constexpr std::int32_t kLogDownloadFileNotCreated = logCode(1207);
constexpr std::int32_t kLogQueryFailed = logCode(1209);
constexpr std::int32_t kLogReadFailed = logCode(1211);
constexpr std::int32_t kLogWriteFailed = logCode(1212);
constexpr std::int32_t kLogTransferNoMemory = logCode(1210);
constexpr std::int32_t kLogDownloadFileNotClosed = logCode(1413);
constexpr std::int32_t kLogDownloadFileNotDeleted = logCode(1414);
constexpr std::int32_t kLogFolderNotRemoved = logCode(1415);
constexpr std::int32_t kLogNotVerified = logCode(1217);
constexpr std::int32_t kLogInstallerNotCreated = logCode(1215);
constexpr std::int32_t kLogInstallerNotWritten = logCode(1216);
constexpr std::int32_t kLogInstallerNotClosed = logCode(1417);

// StringFromGUID2's buffer, in units.
constexpr int kGuidTextBuffer = 260;

void logError(const Platform& platform, std::int32_t code, std::uint32_t error) {
    setLastError(error);
    logLastError(platform, Error, code);
}

std::size_t typeIndex(PlayerType type) {
    switch (type) {
        case PlayerType::ActiveX:
            return 0;
        case PlayerType::Plugin:
            return 1;
        default:
            return 2;
    }
}

// A path longer than a MAX_PATH buffer holds; it is refused, never cut.
bool tooLong(const std::wstring& path) {
    return path.size() >= kMaxPath;
}

// The temporary folder of one download and the download file in it. Both
// are removed after the transfer, and on every failure once the folder
// exists, so that failed attempts leave nothing behind.
class TemporaryDownload {
  public:
    explicit TemporaryDownload(const Platform& platform) : platform_(platform) {}
    TemporaryDownload(const TemporaryDownload&) = delete;
    TemporaryDownload& operator=(const TemporaryDownload&) = delete;
    ~TemporaryDownload() { remove(); }

    std::wstring folderPath;
    std::wstring filePath;
    bool folderMade = false;
    bool fileMade = false;

    // Also on the way out of a download that ran out of memory: nothing
    // thrown here, what cannot be removed stays for a later download.
    void remove() noexcept {
        try {
            if (fileMade) {
                fileMade = false;
                if (!platform_.files->deleteFile(filePath)) {
                    writeLogCode(platform_, Warning, kLogDownloadFileNotDeleted, lastError());
                }
            }
            if (folderMade) {
                folderMade = false;
                if (!platform_.files->removeDirectory(folderPath)) {
                    writeLogCode(platform_, Warning, kLogFolderNotRemoved, lastError());
                }
            }
        } catch (const std::bad_alloc&) {
        }
    }

  private:
    const Platform& platform_;
};

// A braced GUID as StringFromGUID2 writes it: the name of a download's folder.
bool isGuidFolderName(const std::wstring& name) {
    constexpr std::wstring_view kShape = L"{________-____-____-____-____________}";
    if (name.size() != kShape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const wchar_t c = name[i];
        const bool hex =
            (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
        if (kShape[i] == L'_' ? !hex : c != kShape[i]) {
            return false;
        }
    }
    return true;
}

// Whether folder holds nothing but a download file last written before
// oldest: a download that was killed, since a live one is younger.
bool isAbandonedDownload(Files& files, const std::wstring& folder, std::uint64_t oldest) {
    FindData data;
    auto find = files.findFirstFile(folder + L"*", data);
    bool download = false;
    for (bool more = find != nullptr; more; more = find->findNext(data)) {
        if (data.name == L"." || data.name == L"..") {
            continue;
        }
        if (!equalsIgnoreCase(data.name, kDownloadFileName) ||
            (data.attributes & kFileAttributeDirectory) != 0 || data.lastWriteTime >= oldest) {
            return false;
        }
        download = true;
    }
    return download;
}

// Removes what downloads killed in earlier runs left in the temporary base:
// a GUID folder holding only an old download file. A file someone holds open
// stays, and with it its folder. Nothing here changes the download's result.
void removeAbandonedDownloads(const Platform& platform, const std::wstring& base,
                              std::uint32_t timeLimitMs) noexcept try {
    const std::uint64_t now = platform.clock->systemTimeAsFileTime();
    const std::uint64_t limit = std::uint64_t{timeLimitMs} * 10'000;  // in 100 ns
    if (now <= limit) {
        return;
    }
    const std::uint32_t error = lastError();
    FindData data;
    auto find = platform.files->findFirstFile(base + L"*", data);
    std::vector<std::wstring> folders;
    for (bool more = find != nullptr; more; more = find->findNext(data)) {
        if ((data.attributes & kFileAttributeDirectory) != 0 &&
            (data.attributes & kFileAttributeReparsePoint) == 0 && isGuidFolderName(data.name)) {
            folders.push_back(base + data.name + L"\\");
        }
    }
    find.reset();
    for (const std::wstring& folder : folders) {
        if (isAbandonedDownload(*platform.files, folder, now - limit) &&
            platform.files->openFile(folder + kDownloadFileName, FileOpenMode::DeleteOnClose)) {
            platform.files->removeDirectory(folder);
        }
    }
    setLastError(error);
} catch (const std::bad_alloc&) {
    // Left for the next download.
}

// The folder's name: the temporary base and a new GUID, or else the name of
// a new "KPI" temporary file, deleted so that the folder can take it.
bool nameTemporaryFolder(const Platform& platform, const std::wstring& base, std::wstring& folder) {
    Guid guid;
    if (platform.guids->createGuid(guid) >= 0) {
        std::wstring text;
        if (platform.guids->guidToText(guid, text, kGuidTextBuffer) > 0) {
            folder = base + text;
            return true;
        }
        writeLog(platform, Warning, logCodeMessage(kLogGuidNotText));
    }
    writeLog(platform, Warning, logCodeMessage(kLogTempNameFallback));
    if (!platform.files->getTempFileName(base, kTempFilePrefix, folder)) {
        logLastError(platform, Error, kLogTempNameFailed);
        return false;
    }
    if (!platform.files->deleteFile(folder)) {
        logLastError(platform, Error, kLogTempNameNotDeleted);
        return false;
    }
    return true;
}

// Streams the body into the download file, one zero-filled buffer per chunk.
bool transferBody(const Platform& platform, HttpRequest& request, FileHandle& file,
                  const PackageDownloadLimits& limits) {
    DownloadPace pace(platform.clock, limits.timeLimitMs, limits.lowSpeedBytesPerSecond,
                      limits.lowSpeedWindowMs);
    std::uint64_t received = 0;
    std::uint32_t size = 0;
    do {
        size = 0;
        if (!request.queryDataAvailable(size)) {
            logLastError(platform, Error, kLogQueryFailed);
            return false;
        }
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[std::size_t{size} + 1]());
        if (!buffer) {
            logError(platform, kLogTransferNoMemory, kErrorNotEnoughMemory);
            return false;
        }
        std::uint32_t bytesRead = 0;
        if (!request.readData(buffer.get(), size, bytesRead)) {
            logLastError(platform, Error, kLogReadFailed);
            return false;
        }
        received += bytesRead;
        if (received > limits.maxBytes) {
            logError(platform, kLogReadFailed, kErrorFileTooLarge);
            return false;
        }
        if (!file.write(buffer.get(), bytesRead)) {
            logLastError(platform, Error, kLogWriteFailed);
            return false;
        }
        // After the final read of nothing the transfer is whole, however late.
        if (size > 0 && pace.failed(received)) {
            logError(platform, kLogReadFailed, kErrorWinHttpTimeout);
            return false;
        }
    } while (size > 0);
    return true;
}

// Writes the verified content as the installer. A partly written installer
// is removed: it would be started as if whole.
bool writeInstaller(const Platform& platform, const std::uint8_t* content,
                    std::uint32_t contentSize) {
    auto installer = platform.files->openFile(kInstallerFileName, FileOpenMode::CreateUnshared);
    if (!installer) {
        logLastError(platform, Error, kLogInstallerNotCreated);
        return false;
    }
    if (!installer->write(content, contentSize)) {
        logLastError(platform, Error, kLogInstallerNotWritten);
        installer.reset();
        platform.files->deleteFile(kInstallerFileName);
        return false;
    }
    if (!installer->close()) {
        logLastError(platform, Warning, kLogInstallerNotClosed);
    }
    return true;
}

}  // namespace

bool readWholeFile(const Platform& platform, const std::wstring& path,
                   std::unique_ptr<std::uint8_t[]>& bytes, std::uint32_t& size) {
    bytes.reset();
    size = 0;
    auto file = platform.files->openFile(path, FileOpenMode::ReadSharingRead);
    if (!file) {
        return false;
    }
    std::uint64_t fileSize = 0;
    if (!file->getFileSize(fileSize) || fileSize == 0 ||
        fileSize > std::numeric_limits<std::uint32_t>::max()) {
        return false;
    }
    const auto wanted = static_cast<std::uint32_t>(fileSize);
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[wanted]);
    if (!buffer) {
        setLastError(kErrorNotEnoughMemory);
        return false;
    }
    std::uint32_t done = 0;
    while (done < wanted) {
        std::uint32_t got = 0;
        // A read of nothing before the size is reached: the file shrank.
        if (!file->read(buffer.get() + done, wanted - done, got) || got == 0) {
            return false;
        }
        done += got;
    }
    bytes = std::move(buffer);
    size = wanted;
    return true;
}

namespace {

// downloadPackage; noMemoryCode follows the stages, for the code that a
// failed allocation is logged with.
bool fetchPackage(const Platform& platform, const PlayerUpdateInfo* record,
                  const PackageDownloadLimits& limits, std::int32_t& noMemoryCode) {
    if (record == nullptr) {
        return false;
    }
    const bool patch = record->patchMatchesInstalled;
    const std::size_t index = typeIndex(record->type);
    writeLog(platform, Info,
             logCodeMessage(patch ? kPatchPackageCodes[index] : kFullPackageCodes[index]));
    const std::wstring& path = patch ? record->patchPackagePath : record->fullPackagePath;

    std::unique_ptr<HttpSession> session =
        platform.http->open(kPackageUserAgent, kHttpAccessTypeDefaultProxy);
    std::unique_ptr<HttpConnection> connection;
    std::unique_ptr<HttpRequest> request;
    if (!session || !(connection = session->connect(getServerDomain(), kHttpsPort)) ||
        !(request = connection->openRequest(L"GET", path, kHttpFlagSecure)) ||
        !request->sendRequest() || !request->receiveResponse()) {
        logLastError(platform, Error, kLogRequestFailed);
        return false;
    }

    std::wstring base;
    const bool haveBase = platform.files->getTempPath(base);
    if (!haveBase || tooLong(base)) {
        if (haveBase) {
            setLastError(kErrorFilenameExcedRange);
        }
        logLastError(platform, Error, kLogNoTempBase);
        return false;
    }
    removeAbandonedDownloads(platform, base, limits.timeLimitMs);
    std::wstring folder;
    if (!nameTemporaryFolder(platform, base, folder)) {
        return false;
    }
    TemporaryDownload temporary(platform);
    temporary.folderPath = folder + L"\\";
    temporary.filePath = temporary.folderPath + kDownloadFileName;
    if (tooLong(temporary.folderPath)) {
        logError(platform, kLogFolderNotCreated, kErrorFilenameExcedRange);
        return false;
    }
    if (!platform.files->createDirectory(temporary.folderPath)) {
        logLastError(platform, Error, kLogFolderNotCreated);
        return false;
    }
    temporary.folderMade = true;
    if (tooLong(temporary.filePath)) {
        logError(platform, kLogDownloadFileNotCreated, kErrorFilenameExcedRange);
        return false;
    }
    auto file = platform.files->openFile(temporary.filePath, FileOpenMode::CreateUnshared);
    if (!file) {
        logLastError(platform, Error, kLogDownloadFileNotCreated);
        return false;
    }
    temporary.fileMade = true;
    if (!transferBody(platform, *request, *file, limits)) {
        file.reset();
        request.reset();
        connection.reset();
        session.reset();
        return false;  // the temporary copy goes with `temporary`
    }
    if (!file->close()) {
        logLastError(platform, Warning, kLogDownloadFileNotClosed);
    }
    file.reset();
    request.reset();
    connection.reset();
    session.reset();

    noMemoryCode = kLogNotVerified;
    std::unique_ptr<std::uint8_t[]> package;
    std::uint32_t packageSize = 0;
    readWholeFile(platform, temporary.filePath, package, packageSize);
    // The temporary copy is gone before the content is trusted.
    temporary.remove();

    std::unique_ptr<PackageTrust> trust(new (std::nothrow) PackageTrust(platform));
    if (!trust) {
        logError(platform, kLogNotVerified, kErrorNotEnoughMemory);
        return false;
    }
    std::unique_ptr<std::uint8_t[]> content;
    std::uint32_t contentSize = 0;
    if (!trust->verifySignedPackage(package.get(), packageSize, content, contentSize)) {
        logLastError(platform, Error, kLogNotVerified);
        return false;
    }
    package.reset();
    noMemoryCode = kLogInstallerNotWritten;
    return writeInstaller(platform, content.get(), contentSize);
}

}  // namespace

bool downloadPackage(const Platform& platform, const PlayerUpdateInfo* record,
                     const PackageDownloadLimits& limits) noexcept {
    // Paths and texts are built at every step; memory running out at any of
    // them fails the download with the code of the stage it reached.
    std::int32_t noMemoryCode = kLogTransferNoMemory;
    try {
        return fetchPackage(platform, record, limits, noMemoryCode);
    } catch (const std::bad_alloc&) {
        writeLogCode(platform, Error, noMemoryCode, kErrorNotEnoughMemory);
        return false;
    }
}

}  // namespace korin
