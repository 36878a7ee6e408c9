#pragma once

// Task Scheduler XML as the stand-in's task store keeps it: a plain element
// tree that holds every element and attribute of a task, known or not, so a
// task read, changed in one place and written again keeps all the rest.

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korin::standin {

// A task file larger than this, or nested deeper, is refused unread.
inline constexpr std::size_t kTaskXmlMaxBytes = 1024 * 1024;
inline constexpr std::size_t kTaskXmlMaxDepth = 32;

inline constexpr wchar_t kTaskNamespace[] =
    L"http://schemas.microsoft.com/windows/2004/02/mit/task";

struct XmlElement {
    std::wstring name;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    std::wstring text;  // the character data of an element without children
    std::vector<std::unique_ptr<XmlElement>> children;

    explicit XmlElement(std::wstring elementName) : name(std::move(elementName)) {}

    // The first child of that name, or null.
    XmlElement* child(std::wstring_view childName) const;
    // The first child of that name; when there is none, one is made and put
    // where `order` (the names in the order Windows writes them) places it.
    XmlElement& ensureChild(std::wstring_view childName, std::span<const std::wstring_view> order);
    XmlElement& appendChild(std::wstring childName);
    // The text of a child, or empty.
    std::wstring childText(std::wstring_view childName) const;

    const std::wstring* attribute(std::wstring_view attributeName) const;
    void setAttribute(std::wstring_view attributeName, std::wstring value);

    std::unique_ptr<XmlElement> clone() const;
};

// The task of a task file's bytes (UTF-16LE or UTF-8, with or without a byte
// order mark); null with the reason when they are not a well-formed <Task>
// within the bounds above.
std::unique_ptr<XmlElement> parseTaskXml(const std::string& bytes, std::string& error);

// The document as Windows writes a task file: the XML declaration naming
// UTF-16, two spaces a level, CRLF line ends. taskFileBytes gives it as the
// file holds it, UTF-16LE after a byte order mark.
std::wstring taskXmlText(const XmlElement& task);
std::string taskFileBytes(const XmlElement& task);

}  // namespace korin::standin
