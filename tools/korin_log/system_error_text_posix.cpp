#include "korin_log/system_error_text.h"

namespace korin {

std::string systemErrorText(std::uint32_t code) {
    return systemErrorTableText(code);
}

}  // namespace korin
