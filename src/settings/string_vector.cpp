#include "settings/string_vector.h"

#include <new>

namespace VOZA {

namespace {
constexpr std::size_t kInitialCapacity = 10;
}

StringVector::StringVector() : PointerVector(kInitialCapacity) {}

StringVector::~StringVector() {
    freeElements();
}

bool StringVector::add(const std::string& text) {
    return appendCopy(&text);
}

void StringVector::freeElement(void* element) {
    delete static_cast<std::string*>(element);
}

void* StringVector::copyElement(const void* element) {
    try {
        return new std::string(*static_cast<const std::string*>(element));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace VOZA
