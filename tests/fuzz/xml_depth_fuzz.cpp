// libFuzzer target: the nesting bound of the manifest parser against the
// tree the parser builds. Each text is parsed with a small bound and with a
// large one: the depth the guard counted must be the depth of the tree made,
// and the small bound must refuse exactly the texts whose tree is deeper.

#include "ground/bounded_xml.h"
#include "manifest_fuzz_platform.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using korin::BoundedXmlDocument;

constexpr std::size_t kSmallBound = 8;
// Far deeper than the manifests' bound, still well inside the stack of an
// instrumented build.
constexpr std::size_t kLargeBound = 512;

// Element depth of the tree, walked without recursion.
std::size_t treeDepth(const rapidxml::xml_node<char>& document) {
    std::size_t deepest = 0;
    std::size_t depth = 0;
    const rapidxml::xml_node<char>* node = document.first_node();
    while (node != nullptr) {
        if (node->type() == rapidxml::node_element) {
            ++depth;
            deepest = depth > deepest ? depth : deepest;
            if (const rapidxml::xml_node<char>* child = node->first_node()) {
                node = child;
                continue;
            }
            --depth;
        }
        while (node != nullptr && node->next_sibling() == nullptr) {
            node = node->parent();
            if (node == &document) {
                return deepest;
            }
            --depth;
        }
        node = node != nullptr ? node->next_sibling() : nullptr;
    }
    return deepest;
}

struct Outcome {
    bool parsed = false;
    std::string error;
    std::ptrdiff_t where = -1;
    std::size_t deepest = 0;
    std::size_t tree = 0;
};

Outcome parse(const std::string& text, std::size_t bound) {
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    auto document = std::make_unique<BoundedXmlDocument>(bound);
    Outcome outcome;
    try {
        document->parse(copy.data());
        outcome.parsed = true;
        outcome.tree = treeDepth(*document);
    } catch (const rapidxml::parse_error& error) {
        outcome.error = error.what();
        outcome.where = error.where<char>() - copy.data();
    }
    outcome.deepest = document->deepest();
    return outcome;
}

bool tooDeep(const Outcome& outcome) {
    return !outcome.parsed && outcome.error == BoundedXmlDocument::kTooDeep;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = korin::fuzzing::inputText(data, size);
    const Outcome large = parse(text, kLargeBound);
    const Outcome small = parse(text, kSmallBound);
    if (large.parsed) {
        // The guard saw exactly the elements of the tree.
        if (large.deepest != large.tree) {
            __builtin_trap();
        }
        if (small.parsed != (large.tree <= kSmallBound)) {
            __builtin_trap();
        }
        if (small.parsed ? small.tree != large.tree
                         : !tooDeep(small) || small.deepest != kSmallBound + 1) {
            __builtin_trap();
        }
    } else if (tooDeep(large)) {
        if (large.deepest != kLargeBound + 1 || !tooDeep(small)) {
            __builtin_trap();
        }
    } else if (!tooDeep(small) && (small.error != large.error || small.where != large.where)) {
        // Below the bound the library's own errors are untouched.
        __builtin_trap();
    }
    return 0;
}
