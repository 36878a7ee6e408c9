// libFuzzer target: any text as the current-major manifest.

#include "manifest/manifest_readers.h"
#include "manifest_fuzz_platform.h"
#include "ground/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korin;
    const std::string text = fuzzing::inputText(data, size);
    std::unique_ptr<PlayerUpdateInfo> activeX, plugin, pepper;
    std::unique_ptr<std::uint32_t> cell;
    if (parseCurrentMajor(fuzzing::manifestPlatform(), text.c_str(), activeX, plugin, pepper,
                          cell)) {
        // Records made are complete, and their version texts fit their field.
        if (!activeX || !plugin || !pepper || !cell || *cell != 1 ||
            utf16Length(activeX->loudVer.text) > kVersionTextMax || activeX->basePath.empty()) {
            __builtin_trap();
        }
    } else if (activeX || plugin || pepper || cell) {
        __builtin_trap();
    }
    return 0;
}
