#pragma once

// The class library's array of strings.

#include "settings/pointer_vector.h"

#include <string>

namespace VOZA {

// An array of owned 8-bit strings; starts with room for 10 and doubles.
class StringVector final : public SMImplementation::PointerVector {
  public:
    StringVector();
    ~StringVector() override;

    // Adds a copy of text; false, with the vector unchanged, when memory
    // cannot be obtained.
    bool add(const std::string& text);
    const std::string& at(std::size_t index) const {
        return *static_cast<const std::string*>(elementAt(index));
    }
    // Sorts by less(a, b).
    template <typename Less>
    void sort(Less less);

  protected:
    void freeElement(void* element) override;
    void* copyElement(const void* element) override;
};

}  // namespace VOZA

#include <algorithm>

template <typename Less>
void VOZA::StringVector::sort(Less less) {
    std::sort(begin(), end(), [&less](void* a, void* b) {
        return less(*static_cast<const std::string*>(a), *static_cast<const std::string*>(b));
    });
}
