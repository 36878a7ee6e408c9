// libFuzzer target: any text as a version manifest, for each player type.

#include "manifest/manifest_readers.h"
#include "manifest_fuzz_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korin;
    const std::string text = fuzzing::inputText(data, size);
    for (PlayerType type : {PlayerType::ActiveX, PlayerType::Plugin, PlayerType::Pepper}) {
        PlayerUpdateInfo record;
        record.type = type;
        std::uint32_t cell = 0xC0FFEE;
        const bool read =
            parseVersionManifest(fuzzing::manifestPlatform(), text.c_str(), &record, &cell);
        // A failed read stores nothing.
        if (!read && (cell != 0xC0FFEE || record.offeredVersion.major != 0)) {
            __builtin_trap();
        }
    }
    return 0;
}
