#include "support/log_codes.h"

namespace korin {

const LogCodeMeaning* findLogCode(std::int32_t code) {
    for (const LogCodeMeaning& entry : kLogCodeMeanings) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace korin
