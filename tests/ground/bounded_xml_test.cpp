#include "ground/bounded_xml.h"

#include "manifest/manifest_readers.h"
#include "manifest/nested_elements.h"
#include "manifest/stack_thread.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::nested;

// What one bounded parse of the text made of it.
struct Outcome {
    bool parsed = false;
    std::string error;          // the parse error's description
    std::ptrdiff_t where = -1;  // its position in the text
    std::size_t deepest = 0;
};

Outcome parseBounded(const std::string& text, std::size_t maxDepth) {
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    // The document holds the library's 64 KiB pool: keep it off the stack.
    auto document = std::make_unique<BoundedXmlDocument>(maxDepth);
    Outcome outcome;
    try {
        document->parse(copy.data());
        outcome.parsed = true;
    } catch (const rapidxml::parse_error& error) {
        outcome.error = error.what();
        outcome.where = error.where<char>() - copy.data();
    }
    outcome.deepest = document->deepest();
    return outcome;
}

TEST(BoundedXml, RefusesTheFirstElementBeyondTheBoundAtItsOpening) {
    const Outcome four = parseBounded(nested(4), 4);
    EXPECT_TRUE(four.parsed);
    EXPECT_EQ(four.deepest, 4u);
    const Outcome five = parseBounded(nested(5), 4);
    EXPECT_FALSE(five.parsed);
    EXPECT_EQ(five.error, BoundedXmlDocument::kTooDeep);
    EXPECT_EQ(five.where, 12);
    EXPECT_EQ(five.deepest, 5u);
    // Siblings and empty elements do not add up.
    std::string siblings = "<r>";
    for (int i = 0; i < 100; ++i) {
        siblings += "<e x='1'/><f></f>";
    }
    siblings += "</r>";
    const Outcome wide = parseBounded(siblings, 2);
    EXPECT_TRUE(wide.parsed);
    EXPECT_EQ(wide.deepest, 2u);
}

// Start tags as the parser reads them: quotes may be part of a name, markup
// inside values, comments and sections is no element.
TEST(BoundedXml, CountsTheElementsTheParserReads) {
    struct Case {
        std::string text;
        bool tooDeep;  // with a bound of 3
    };
    const Case cases[] = {
        {"<a\"><b><c><d/></c></b></a>", true},
        {"<a'><b><c><d/></c></b></a>", true},
        {"<a\"x\"><b><c><d/></c></b></a>", true},
        {nested(4, "<a x=\"/>\">"), true},
        {nested(4, "<a x='/>'>"), true},
        {nested(4, "<a x=\"'\" y='\"/>'>"), true},
        {"<a><!-- <b><c><d> --></a>", false},
        {"<a><![CDATA[<b><c><d>]]></a>", false},
        {"<?xml version='1.0'?><!DOCTYPE a [<!ELEMENT a ANY>]><a><?pi <b><c><d>?></a>", false},
        {"<a><!weird <b> <b><c></c></b></a>", false},
        {"<a><!weird x><b><c><d/></c></b></a>", true},
        {"<a><b><c>text > <d></d></c></b></a>", true},
        {"<a/><a/><a/><a/>", false},
        {"<a><b><c></x></y></z><d/>", false},
    };
    for (const Case& c : cases) {
        const Outcome outcome = parseBounded(c.text, 3);
        EXPECT_EQ(outcome.error == BoundedXmlDocument::kTooDeep, c.tooDeep) << c.text;
        EXPECT_EQ(outcome.deepest > 3, c.tooDeep) << c.text;
    }
}

TEST(BoundedXml, TheLibrarysOwnErrorsStayAsTheyWere) {
    const Outcome unclosed = parseBounded("<a><b>", 3);
    EXPECT_EQ(unclosed.error, "unexpected end of data");
    EXPECT_EQ(unclosed.where, 6);
    const Outcome noName = parseBounded("<a>< b/></a>", 3);
    EXPECT_EQ(noName.error, "expected element name");
    EXPECT_EQ(noName.where, 4);
    const Outcome noEnd = parseBounded("<a x='1'/ ></a>", 3);
    EXPECT_EQ(noEnd.error, "expected >");
}

// A Windows service thread has a 1 MiB stack: a manifest at the bound must
// read there (a 32-bit frame set of the parser's recursion is about 200 bytes).
TEST(BoundedXml, AManifestAtTheBoundReadsOnAOneMebibyteStack) {
    const std::string deepest = nested(kManifestMaxDepth);
    const std::string deeper = nested(kManifestMaxDepth + 1);
    Outcome atBound;
    Outcome beyond;
    ASSERT_TRUE(testing::runOnStack(1024 * 1024, [&] {
        atBound = parseBounded(deepest, kManifestMaxDepth);
        beyond = parseBounded(deeper, kManifestMaxDepth);
    }));
    EXPECT_TRUE(atBound.parsed);
    EXPECT_EQ(atBound.deepest, kManifestMaxDepth);
    EXPECT_EQ(beyond.error, BoundedXmlDocument::kTooDeep);
}

}  // namespace
}  // namespace korin
