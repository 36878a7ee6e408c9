#include "fakes/fake_runtime_library.h"

namespace korin::testing {

bool FakeSecureRandom::draw(std::uint32_t& value) {
    if (draws.empty()) {
        return false;
    }
    const std::optional<std::uint32_t> next = draws.front();
    draws.pop_front();
    if (next) {
        value = *next;
    }
    return next.has_value();
}

}  // namespace korin::testing
