#pragma once

#include <cstddef>
#include <string>

namespace korin::testing {

// depth start tags (each `open`) and as many "</a>" closing them.
inline std::string nested(std::size_t depth, const std::string& open = "<a>") {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) {
        text += open;
    }
    for (std::size_t i = 0; i < depth; ++i) {
        text += "</a>";
    }
    return text;
}

}  // namespace korin::testing
