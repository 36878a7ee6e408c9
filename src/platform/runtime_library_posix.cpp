#include "platform/runtime_library_posix.h"

#include "ground/text.h"
#include "platform/standin/machine_sources.h"

#include <sys/random.h>

#include <cstdio>

namespace korin {

bool StandInSecureRandom::draw(std::uint32_t& value) {
    switch (standin::drawSeeded(machine_, value)) {
        case standin::SeededDraw::Drawn:
            return true;
        case standin::SeededDraw::Failed:
            return false;
        case standin::SeededDraw::Unseeded:
            break;
    }
    std::uint32_t drawn = 0;
    if (getrandom(&drawn, sizeof(drawn), 0) != static_cast<ssize_t>(sizeof(drawn))) {
        return false;
    }
    value = drawn;
    return true;
}

bool StandInConsoleOutput::write(const std::wstring& text) {
    const std::string bytes = utf8FromWide(text);
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
           std::fflush(stdout) == 0;
}

}  // namespace korin
