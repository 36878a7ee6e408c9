// libFuzzer target: any text as a patch manifest, for each player type.

#include "manifest/manifest_readers.h"
#include "manifest_fuzz_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korin;
    const std::string text = fuzzing::inputText(data, size);
    // No player is installed, so no file is ever digested.
    const FileDigester digester = [](const std::wstring&, char*, std::uint32_t&, std::uint32_t&,
                                     bool) -> bool { __builtin_trap(); };
    for (PlayerType type : {PlayerType::ActiveX, PlayerType::Plugin, PlayerType::Pepper}) {
        PlayerUpdateInfo record;
        record.type = type;
        record.basePath = L"/pub/korinplayer/update/current/sau/32";
        parsePatchManifest(fuzzing::manifestPlatform(), text.c_str(), &record, digester);
        if (record.patchMatchesInstalled) {
            __builtin_trap();
        }
    }
    return 0;
}
