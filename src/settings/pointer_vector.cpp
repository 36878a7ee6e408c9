#include "settings/pointer_vector.h"

#include <algorithm>
#include <new>

namespace SMImplementation {

PointerVector::PointerVector(std::size_t initialCapacity) {
    elements_ = new (std::nothrow) void*[initialCapacity];
    capacity_ = elements_ != nullptr ? initialCapacity : 0;
}

PointerVector::~PointerVector() {
    delete[] elements_;
}

bool PointerVector::appendCopy(const void* element) {
    if (count_ == capacity_) {
        const std::size_t grown = capacity_ == 0 ? 1 : capacity_ * 2;
        void** larger = new (std::nothrow) void*[grown];
        if (larger == nullptr) {
            return false;
        }
        std::copy(elements_, elements_ + count_, larger);
        delete[] elements_;
        elements_ = larger;
        capacity_ = grown;
    }
    void* copy = copyElement(element);
    if (copy == nullptr) {
        return false;
    }
    elements_[count_++] = copy;
    return true;
}

void PointerVector::freeElements() {
    for (std::size_t i = 0; i < count_; ++i) {
        freeElement(elements_[i]);
    }
    count_ = 0;
}

}  // namespace SMImplementation
