// libFuzzer target: any text as a dotted version.

#include "manifest/manifest_readers.h"
#include "manifest_fuzz_platform.h"
#include "ground/text.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korin;
    const std::string text = fuzzing::inputText(data, size);
    PlayerVersion version;
    if (parseDottedVersion(text.c_str(), version)) {
        // Three dots at least, and a text that fits its field.
        const auto dots = std::count(text.begin(), text.end(), '.');
        if (dots < 3 || utf16Length(version.text) > kVersionTextMax) {
            __builtin_trap();
        }
    }
    return 0;
}
