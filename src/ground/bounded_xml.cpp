#include "ground/bounded_xml.h"

namespace korin {
namespace {

// Parse flags 0 plus a bit the library does not use: it selects the element
// parse below and changes nothing else.
constexpr int kBoundedParse = 0x40000000;
static_assert((kBoundedParse &
               (rapidxml::parse_fastest | rapidxml::parse_full | rapidxml::parse_no_element_values |
                rapidxml::parse_no_utf8 | rapidxml::parse_trim_whitespace |
                rapidxml::parse_normalize_whitespace)) == 0,
              "the guard's flag must be one the library ignores");

}  // namespace
}  // namespace korin

// The library's element parse for the guarded flags, as it reads for flags
// 0, with the depth counted around it. Everything else (names, attributes,
// contents, the other node kinds) stays the library's own code, which calls
// back into this function for every element it meets.
template <>
template <>
rapidxml::xml_node<char>* rapidxml::xml_document<char>::parse_element<korin::kBoundedParse>(
    char*& text) {
    constexpr int Flags = korin::kBoundedParse;
    auto& bounded = static_cast<korin::BoundedXmlDocument&>(*this);
    bounded.enter(text - 1);

    xml_node<char>* element = this->allocate_node(node_element);
    char* name = text;
    skip<node_name_pred, Flags>(text);
    if (text == name) {
        throw parse_error("expected element name", text);
    }
    element->name(name, text - name);
    skip<whitespace_pred, Flags>(text);
    parse_node_attributes<Flags>(text, element);
    if (*text == '>') {
        ++text;
        parse_node_contents<Flags>(text, element);
    } else if (*text == '/') {
        ++text;
        if (*text != '>') {
            throw parse_error("expected >", text);
        }
        ++text;
    } else {
        throw parse_error("expected >", text);
    }
    element->name()[element->name_size()] = '\0';

    bounded.leave();
    return element;
}

namespace korin {

void BoundedXmlDocument::parse(char* text) {
    depth_ = 0;
    deepest_ = 0;
    xml_document<char>::parse<kBoundedParse>(text);
}

void BoundedXmlDocument::enter(char* open) {
    ++depth_;
    if (depth_ > deepest_) {
        deepest_ = depth_;
    }
    if (depth_ > maxDepth_) {
        throw rapidxml::parse_error(kTooDeep, open);
    }
}

}  // namespace korin
