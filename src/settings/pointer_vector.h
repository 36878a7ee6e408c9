#pragma once

// The class library's array of element pointers.

#include <cstddef>

namespace SMImplementation {

// A growable array of element pointers. The derived class says how an element
// is copied in and freed; this base frees only the array.
class PointerVector {
  public:
    virtual ~PointerVector();
    PointerVector(const PointerVector&) = delete;
    PointerVector& operator=(const PointerVector&) = delete;

    std::size_t size() const { return count_; }
    std::size_t capacity() const { return capacity_; }

  protected:
    explicit PointerVector(std::size_t initialCapacity);

    virtual void freeElement(void* element) = 0;
    // A new copy of element; null when memory cannot be obtained.
    virtual void* copyElement(const void* element) = 0;

    // Stores a copy of element at the end, doubling a full array first.
    // False, with the vector unchanged, when memory cannot be obtained.
    bool appendCopy(const void* element);
    void* elementAt(std::size_t index) const { return elements_[index]; }
    void** begin() { return elements_; }
    void** end() { return elements_ + count_; }
    // Frees every element; derived destructors call it.
    void freeElements();

  private:
    void** elements_ = nullptr;
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace SMImplementation
