#include "manifest/manifest_readers.h"

#include "ground/bounded_xml.h"
#include "manifest/decimal_text.h"
#include "support/log.h"
#include "support/log_codes.h"
#include "ground/text.h"

#include <cstring>
#include <new>
#include <string_view>

namespace korin {

namespace {

constexpr std::int32_t kLogCurrentMajorNoVersion = logCode(1458);
constexpr std::int32_t kLogCurrentMajorNoPlayer = logCode(1464);
constexpr std::int32_t kLogCurrentMajorNoMajor = logCode(1463);
constexpr std::int32_t kLogLoudVerNotDotted = logCode(1478);
constexpr std::int32_t kLogLoudVerBetaNotDotted = logCode(1479);
constexpr std::int32_t kLogCurrentMajorNoMemory = logCode(1430);
constexpr std::int32_t kLogVersionNoVersion = logCode(1411);
constexpr std::int32_t kLogVersionNoPlayer = logCode(1437);
constexpr std::int32_t kLogVersionNoComponent = logCode(1434);
constexpr std::int32_t kLogVersionNoConfig = logCode(1439);
constexpr std::int32_t kLogVersionNoFrequency = logCode(1436);
constexpr std::int32_t kLogMinVerNotDotted = logCode(1452);
constexpr std::int32_t kLogPatchNoEntry = logCode(1445);
constexpr std::int32_t kLogPatchNoPatch = logCode(1447);
constexpr std::int32_t kLogPatchIncomplete = logCode(1446);

using Document = BoundedXmlDocument;
using Node = rapidxml::xml_node<char>;
using Attribute = rapidxml::xml_attribute<char>;

// The codes with which one reader reports a document it cannot read.
struct ReaderCodes {
    std::int32_t outOfMemory;
    std::int32_t parseError;
};
constexpr ReaderCodes kCurrentMajorCodes{logCode(1456), logCode(1457)};
constexpr ReaderCodes kVersionCodes{logCode(1410), logCode(1431)};
constexpr ReaderCodes kPatchCodes{logCode(1443), logCode(1444)};

std::wstring wideOrEmpty(const char* text) {
    std::wstring wide;
    utf8ToWide(text, wide);
    return wide;
}

// The reader's parse-error code, the reason and the text from where reading
// stopped, as three warnings.
void logUnreadable(const Platform& platform, ReaderCodes codes, const char* description,
                   const char* position) {
    writeLog(platform, Warning, logCodeMessage(codes.parseError));
    writeLog(platform, Warning, wideOrEmpty(description));
    writeLog(platform, Warning, wideOrEmpty(position));
}

// A private copy of the text parsed in place into a document. The values
// found in the document live in the copy.
class ParsedManifest {
  public:
    bool parse(const Platform& platform, const char* text, ReaderCodes codes) {
        const std::size_t length = std::strlen(text);
        if (length > kManifestMaxBytes) {
            logUnreadable(platform, codes, "document too large", text + kManifestMaxBytes);
            return false;
        }
        copy_.reset(new (std::nothrow) char[length + 1]);
        document_.reset(copy_ ? new (std::nothrow) Document(kManifestMaxDepth) : nullptr);
        if (!document_) {
            writeLog(platform, Warning, logCodeMessage(codes.outOfMemory));
            return false;
        }
        std::memcpy(copy_.get(), text, length + 1);
        try {
            document_->parse(copy_.get());
        } catch (const rapidxml::parse_error& error) {
            logUnreadable(platform, codes, error.what(), error.where<char>());
            document_.reset();
            return false;
        } catch (const std::bad_alloc&) {
            document_.reset();
            writeLog(platform, Warning, logCodeMessage(codes.outOfMemory));
            return false;
        }
        return true;
    }
    Document& document() { return *document_; }
    // Values stay readable in the copy once the document is gone.
    void releaseDocument() { document_.reset(); }

  private:
    std::unique_ptr<char[]> copy_;
    std::unique_ptr<Document> document_;
};

const char* attributeValue(const Node& node, const char* name) {
    const Attribute* attribute = node.first_attribute(name);
    return attribute == nullptr ? nullptr : attribute->value();
}

}  // namespace

bool utf8ToWide(const char* text, std::wstring& wide) {
    wide.clear();
    if (text == nullptr) {
        return false;
    }
    try {
        wide = wideFromUtf8(text);
    } catch (const std::bad_alloc&) {
        wide.clear();
        return false;
    }
    return true;
}

bool parseDottedVersion(const char* text, PlayerVersion& version) {
    if (text == nullptr) {
        return false;
    }
    const char* first = std::strchr(text, '.');
    const char* second = first ? std::strchr(first + 1, '.') : nullptr;
    const char* third = second ? std::strchr(second + 1, '.') : nullptr;
    if (third == nullptr) {
        return false;
    }
    std::wstring wide;
    utf8ToWide(text, wide);
    // Version texts name server folders: a longer one is refused, never cut.
    if (utf16Length(wide) > kVersionTextMax) {
        return false;
    }
    PlayerVersion parsed;
    parsed.major = static_cast<std::uint32_t>(signedDecimal(std::string_view(text)));
    parsed.minor = static_cast<std::uint32_t>(signedDecimal(std::string_view(first + 1)));
    parsed.buildMajor = static_cast<std::uint32_t>(signedDecimal(std::string_view(second + 1)));
    parsed.buildMinor = static_cast<std::uint32_t>(signedDecimal(std::string_view(third + 1)));
    parsed.text = std::move(wide);
    version = std::move(parsed);
    return true;
}

namespace {

bool readCurrentMajor(const Platform& platform, const char* text,
                      std::unique_ptr<PlayerUpdateInfo>& activeX,
                      std::unique_ptr<PlayerUpdateInfo>& plugin,
                      std::unique_ptr<PlayerUpdateInfo>& pepper,
                      std::unique_ptr<std::uint32_t>& checkFrequency) {
    if (text == nullptr) {
        return false;
    }
    ParsedManifest manifest;
    if (!manifest.parse(platform, text, kCurrentMajorCodes)) {
        return false;
    }
    const Node* version = manifest.document().first_node("version");
    if (version == nullptr) {
        writeLog(platform, Warning, logCodeMessage(kLogCurrentMajorNoVersion));
        return false;
    }
    const Node* player = version->first_node("Player");
    if (player == nullptr) {
        writeLog(platform, Warning, logCodeMessage(kLogCurrentMajorNoPlayer));
        return false;
    }
    const char* major = attributeValue(*player, "major");
    const char* majorBeta = attributeValue(*player, "majorBeta");
    const char* loudVerText = attributeValue(*player, "loudVer");
    const char* loudVerBetaText = attributeValue(*player, "loudVerBeta");
    if (major == nullptr || majorBeta == nullptr) {
        writeLog(platform, Warning, logCodeMessage(kLogCurrentMajorNoMajor));
        return false;
    }
    manifest.releaseDocument();
    const std::int32_t majorNumber = signedDecimal(std::string_view(major));
    const std::int32_t majorBetaNumber = signedDecimal(std::string_view(majorBeta));
    PlayerVersion loudVer;
    if (loudVerText != nullptr && !parseDottedVersion(loudVerText, loudVer)) {
        writeLog(platform, Warning, logCodeMessage(kLogLoudVerNotDotted));
        return false;
    }
    PlayerVersion loudVerBeta;
    if (loudVerBetaText != nullptr && !parseDottedVersion(loudVerBetaText, loudVerBeta)) {
        writeLog(platform, Warning, logCodeMessage(kLogLoudVerBetaNotDotted));
        return false;
    }

    std::unique_ptr<PlayerUpdateInfo>* const records[] = {&activeX, &plugin, &pepper};
    const PlayerType types[] = {PlayerType::ActiveX, PlayerType::Plugin, PlayerType::Pepper};
    try {
        for (int i = 0; i < 3; ++i) {
            auto record = std::make_unique<PlayerUpdateInfo>();
            record->type = types[i];
            record->major = majorNumber;
            record->majorBeta = majorBetaNumber;
            record->loudVer = loudVer;
            record->loudVerBeta = loudVerBeta;
            buildUpdatePaths(platform, *record);
            *records[i] = std::move(record);
        }
        checkFrequency = std::make_unique<std::uint32_t>(1);
    } catch (const std::bad_alloc&) {
        writeLog(platform, Warning, logCodeMessage(kLogCurrentMajorNoMemory));
        activeX.reset();
        plugin.reset();
        pepper.reset();
        checkFrequency.reset();
        return false;
    }
    return true;
}

bool readVersionManifest(const Platform& platform, const char* text, PlayerUpdateInfo* record,
                         std::uint32_t* checkFrequency) {
    if (text == nullptr || record == nullptr || checkFrequency == nullptr) {
        return false;
    }
    ParsedManifest manifest;
    if (!manifest.parse(platform, text, kVersionCodes)) {
        return false;
    }
    const Node* version = manifest.document().first_node("version");
    if (version == nullptr) {
        writeLog(platform, Warning, logCodeMessage(kLogVersionNoVersion));
        return false;
    }
    const Node* player = version->first_node(playerElementName(record->type));
    if (player == nullptr) {
        writeLog(platform, Warning, logCodeMessage(kLogVersionNoPlayer));
        return false;
    }
    const char* components[] = {
        attributeValue(*player, "major"),
        attributeValue(*player, "minor"),
        attributeValue(*player, "buildMajor"),
        attributeValue(*player, "buildMinor"),
    };
    const char* minVerText = attributeValue(*player, "minVer");
    for (const char* component : components) {
        if (component == nullptr) {
            writeLog(platform, Warning, logCodeMessage(kLogVersionNoComponent));
            return false;
        }
    }
    const Node* config = version->first_node("SAUConfig");
    if (config == nullptr) {
        writeLog(platform, Warning, logCodeMessage(kLogVersionNoConfig));
        return false;
    }
    const char* frequency = attributeValue(*config, "checkFrequency");
    if (frequency == nullptr) {
        writeLog(platform, Warning, logCodeMessage(kLogVersionNoFrequency));
        return false;
    }
    manifest.releaseDocument();
    PlayerVersion offered;
    offered.major = unsignedDecimal(std::string_view(components[0]));
    offered.minor = unsignedDecimal(std::string_view(components[1]));
    offered.buildMajor = unsignedDecimal(std::string_view(components[2]));
    offered.buildMinor = unsignedDecimal(std::string_view(components[3]));
    const std::uint32_t days = unsignedDecimal(std::string_view(frequency));
    PlayerVersion minVer;
    if (minVerText != nullptr && !parseDottedVersion(minVerText, minVer)) {
        writeLog(platform, Warning, logCodeMessage(kLogMinVerNotDotted));
        return false;
    }
    record->offeredVersion = std::move(offered);
    record->minVer = std::move(minVer);
    *checkFrequency = days;
    return true;
}

bool readPatchManifest(const Platform& platform, const char* text, PlayerUpdateInfo* record,
                       const FileDigester& digester) {
    if (text == nullptr || record == nullptr) {
        return false;
    }
    ParsedManifest manifest;
    if (!manifest.parse(platform, text, kPatchCodes)) {
        return false;
    }
    const Node* entry = manifest.document().first_node("patch");
    if (entry == nullptr) {
        writeLog(platform, Warning, logCodeMessage(kLogPatchNoEntry));
        return false;
    }
    const char* typeName = playerElementName(record->type);
    for (; entry != nullptr; entry = entry->next_sibling()) {
        if (record->patchMatchesInstalled) {
            continue;
        }
        const Node* patch = entry->first_node(typeName);
        if (patch == nullptr) {
            writeLog(platform, Warning, logCodeMessage(kLogPatchNoPatch));
            continue;
        }
        const char* hash32 = attributeValue(*patch, "hash32");
        const char* hash64 = attributeValue(*patch, "hash64");
        const char* path = attributeValue(*patch, "path");
        if (hash32 == nullptr || hash64 == nullptr || path == nullptr) {
            writeLog(platform, Warning, logCodeMessage(kLogPatchIncomplete));
            return false;
        }
        std::wstring folder;
        utf8ToWide(path, folder);
        record->hash32 = hash32;
        record->hash64 = hash64;
        setPatchPackagePath(*record, folder);
        checkInstalledDigest(platform, *record, digester);
    }
    return true;
}

// Out of memory outside the parser and the records: the reader's own code.
template <typename Read>
bool guarded(const Platform& platform, ReaderCodes codes, Read read) {
    try {
        return read();
    } catch (const std::bad_alloc&) {
        writeLog(platform, Warning, logCodeMessage(codes.outOfMemory));
        return false;
    }
}

}  // namespace

bool parseCurrentMajor(const Platform& platform, const char* text,
                       std::unique_ptr<PlayerUpdateInfo>& activeX,
                       std::unique_ptr<PlayerUpdateInfo>& plugin,
                       std::unique_ptr<PlayerUpdateInfo>& pepper,
                       std::unique_ptr<std::uint32_t>& checkFrequency) {
    return guarded(platform, kCurrentMajorCodes, [&] {
        return readCurrentMajor(platform, text, activeX, plugin, pepper, checkFrequency);
    });
}

bool parseVersionManifest(const Platform& platform, const char* text, PlayerUpdateInfo* record,
                          std::uint32_t* checkFrequency) {
    return guarded(platform, kVersionCodes,
                   [&] { return readVersionManifest(platform, text, record, checkFrequency); });
}

bool parsePatchManifest(const Platform& platform, const char* text, PlayerUpdateInfo* record,
                        const FileDigester& digester) {
    return guarded(platform, kPatchCodes,
                   [&] { return readPatchManifest(platform, text, record, digester); });
}

}  // namespace korin
