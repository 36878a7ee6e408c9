#pragma once

// DER elements read in place, for the stand-in crypt32: no copy of the
// message, each element a view of the caller's bytes.

#include "platform/crypto_api.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace korin::standin::crypt32 {

struct Element {
    std::uint8_t tag = 0;
    const std::uint8_t* start = nullptr;  // the tag byte
    const std::uint8_t* value = nullptr;
    std::size_t length = 0;  // of the value
    std::size_t size() const { return static_cast<std::size_t>(value - start) + length; }
    bool contentsEqual(const std::uint8_t* bytes, std::size_t count) const {
        return length == count && std::memcmp(value, bytes, count) == 0;
    }
};

// Definite-length DER elements one after another; indefinite lengths and
// high tag numbers are not read.
class Der {
  public:
    Der(const std::uint8_t* data, std::size_t size) : next_(data), end_(data + size) {}
    explicit Der(const Element& element) : Der(element.value, element.length) {}

    bool atEnd() const { return next_ == end_; }
    bool peek(std::uint8_t tag) const { return next_ != end_ && *next_ == tag; }

    bool read(Element& element, std::uint32_t& error) {
        const std::uint8_t* p = next_;
        if (p == end_) {
            error = crypto::kCryptEAsn1Eod;
            return false;
        }
        element.start = p;
        element.tag = *p++;
        if ((element.tag & 0x1F) == 0x1F) {
            error = crypto::kCryptEAsn1BadTag;
            return false;
        }
        if (p == end_) {
            error = crypto::kCryptEAsn1Eod;
            return false;
        }
        std::size_t length = *p++;
        if (length == 0x80) {
            error = crypto::kCryptEAsn1Corrupt;
            return false;
        }
        if (length > 0x80) {
            const std::size_t count = length & 0x7F;
            if (count > 4) {
                error = crypto::kCryptEAsn1Corrupt;
                return false;
            }
            if (static_cast<std::size_t>(end_ - p) < count) {
                error = crypto::kCryptEAsn1Eod;
                return false;
            }
            length = 0;
            for (std::size_t i = 0; i < count; ++i) {
                length = (length << 8) | *p++;
            }
        }
        if (static_cast<std::size_t>(end_ - p) < length) {
            error = crypto::kCryptEAsn1Eod;
            return false;
        }
        element.value = p;
        element.length = length;
        next_ = p + length;
        return true;
    }

    bool read(std::uint8_t tag, Element& element, std::uint32_t& error) {
        if (!read(element, error)) {
            return false;
        }
        if (element.tag != tag) {
            error = crypto::kCryptEAsn1BadTag;
            return false;
        }
        return true;
    }

  private:
    const std::uint8_t* next_;
    const std::uint8_t* end_;
};

}  // namespace korin::standin::crypt32
