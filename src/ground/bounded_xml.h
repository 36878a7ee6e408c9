#pragma once

// A rapidxml document whose parse refuses elements nested deeper than a
// bound. The bound is counted inside the library's own recursion (its
// element parse, specialised in bounded_xml.cpp), so it sees exactly the
// elements the parser sees, however hostile the text.

#include <rapidxml.hpp>

#include <cstddef>

namespace korin {

class BoundedXmlDocument : public rapidxml::xml_document<char> {
  public:
    static constexpr char kTooDeep[] = "elements nested too deeply";

    explicit BoundedXmlDocument(std::size_t maxDepth) : maxDepth_(maxDepth) {}

    // parse<0> in place. An element deeper than the bound throws
    // rapidxml::parse_error(kTooDeep) at its '<' before the parser descends
    // into it; the library's own errors are thrown as usual.
    void parse(char* text);

    // The deepest element the last parse entered (maxDepth + 1 when it was
    // refused as too deep).
    std::size_t deepest() const { return deepest_; }

  private:
    friend class rapidxml::xml_document<char>;
    // Called by the specialised element parse on the way in and out.
    void enter(char* open);
    void leave() { --depth_; }

    std::size_t maxDepth_;
    std::size_t depth_ = 0;
    std::size_t deepest_ = 0;
};

}  // namespace korin
