#include "platform/standin/task_xml.h"

#include "ground/bounded_xml.h"
#include "ground/text.h"

#include <algorithm>
#include <new>

namespace korin::standin {

namespace {

std::wstring wideOf(const char* text, std::size_t size) {
    return wideFromUtf8(std::string(text, size));
}

// The file's bytes as UTF-8, whichever of the two encodings it is in.
std::string utf8Of(const std::string& bytes) {
    const bool bom16 = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
    const bool bare16 = !bom16 && bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0';
    if (bom16 || bare16) {
        std::u16string units;
        for (std::size_t i = bom16 ? 2 : 0; i + 1 < bytes.size(); i += 2) {
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        return utf8FromWide(wideFromUtf16(units));
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        return bytes.substr(3);
    }
    return bytes;
}

std::unique_ptr<XmlElement> elementOf(const rapidxml::xml_node<char>& node) {
    auto element = std::make_unique<XmlElement>(wideOf(node.name(), node.name_size()));
    for (auto* attribute = node.first_attribute(); attribute != nullptr;
         attribute = attribute->next_attribute()) {
        element->attributes.emplace_back(wideOf(attribute->name(), attribute->name_size()),
                                         wideOf(attribute->value(), attribute->value_size()));
    }
    for (auto* child = node.first_node(); child != nullptr; child = child->next_sibling()) {
        if (child->type() == rapidxml::node_element) {
            element->children.push_back(elementOf(*child));
        } else if (child->type() == rapidxml::node_data || child->type() == rapidxml::node_cdata) {
            element->text += wideOf(child->value(), child->value_size());
        }
    }
    if (!element->children.empty()) {
        element->text.clear();  // the layout between child elements
    }
    return element;
}

void appendEscaped(std::wstring& out, const std::wstring& text, bool attribute) {
    for (const wchar_t c : text) {
        switch (c) {
            case L'&':
                out += L"&amp;";
                break;
            case L'<':
                out += L"&lt;";
                break;
            case L'>':
                out += L"&gt;";
                break;
            case L'\r':
                out += L"&#13;";
                break;
            case L'"':
                out += attribute ? L"&quot;" : L"\"";
                break;
            default:
                out += c;
        }
    }
}

void appendElement(std::wstring& out, const XmlElement& element, std::size_t depth) {
    out.append(depth * 2, L' ');
    out += L'<';
    out += element.name;
    for (const auto& [name, value] : element.attributes) {
        out += L' ';
        out += name;
        out += L"=\"";
        appendEscaped(out, value, true);
        out += L'"';
    }
    if (element.children.empty()) {
        if (element.text.empty()) {
            out += L" />\r\n";
            return;
        }
        out += L'>';
        appendEscaped(out, element.text, false);
    } else {
        out += L">\r\n";
        for (const auto& child : element.children) {
            appendElement(out, *child, depth + 1);
        }
        out.append(depth * 2, L' ');
    }
    out += L"</";
    out += element.name;
    out += L">\r\n";
}

}  // namespace

XmlElement* XmlElement::child(std::wstring_view childName) const {
    for (const auto& element : children) {
        if (element->name == childName) {
            return element.get();
        }
    }
    return nullptr;
}

XmlElement& XmlElement::ensureChild(std::wstring_view childName,
                                    std::span<const std::wstring_view> order) {
    if (XmlElement* found = child(childName)) {
        return *found;
    }
    // Before the first child that comes later in the order.
    const auto rank = [&order](std::wstring_view which) {
        return static_cast<std::size_t>(std::find(order.begin(), order.end(), which) -
                                        order.begin());
    };
    const std::size_t mine = rank(childName);
    auto place = std::find_if(children.begin(), children.end(), [&](const auto& element) {
        return mine < order.size() && rank(element->name) > mine &&
               rank(element->name) < order.size();
    });
    return **children.insert(place, std::make_unique<XmlElement>(std::wstring(childName)));
}

XmlElement& XmlElement::appendChild(std::wstring childName) {
    children.push_back(std::make_unique<XmlElement>(std::move(childName)));
    return *children.back();
}

std::wstring XmlElement::childText(std::wstring_view childName) const {
    const XmlElement* found = child(childName);
    return found != nullptr ? found->text : std::wstring();
}

const std::wstring* XmlElement::attribute(std::wstring_view attributeName) const {
    for (const auto& [key, value] : attributes) {
        if (key == attributeName) {
            return &value;
        }
    }
    return nullptr;
}

void XmlElement::setAttribute(std::wstring_view attributeName, std::wstring value) {
    for (auto& [key, existing] : attributes) {
        if (key == attributeName) {
            existing = std::move(value);
            return;
        }
    }
    attributes.emplace_back(std::wstring(attributeName), std::move(value));
}

std::unique_ptr<XmlElement> XmlElement::clone() const {
    auto copy = std::make_unique<XmlElement>(name);
    copy->attributes = attributes;
    copy->text = text;
    for (const auto& element : children) {
        copy->children.push_back(element->clone());
    }
    return copy;
}

std::unique_ptr<XmlElement> parseTaskXml(const std::string& bytes, std::string& error) {
    if (bytes.size() > kTaskXmlMaxBytes) {
        error = "the task file is larger than " + std::to_string(kTaskXmlMaxBytes) + " bytes";
        return nullptr;
    }
    try {
        std::string text = utf8Of(bytes);
        std::vector<char> buffer(text.begin(), text.end());
        buffer.push_back('\0');
        BoundedXmlDocument document(kTaskXmlMaxDepth);
        document.parse(buffer.data());
        const auto* root = document.first_node();
        while (root != nullptr && root->type() != rapidxml::node_element) {
            root = root->next_sibling();
        }
        if (root == nullptr || std::string(root->name(), root->name_size()) != "Task") {
            error = "the document is not a <Task>";
            return nullptr;
        }
        return elementOf(*root);
    } catch (const rapidxml::parse_error& failure) {
        error = std::string("the task file is not well-formed XML: ") + failure.what();
    } catch (const std::bad_alloc&) {
        error = "not enough memory for the task file";
    }
    return nullptr;
}

std::wstring taskXmlText(const XmlElement& task) {
    std::wstring out = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n";
    appendElement(out, task, 0);
    return out;
}

std::string taskFileBytes(const XmlElement& task) {
    const std::u16string units = utf16FromWide(taskXmlText(task));
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + units.size() * 2);
    for (const char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

}  // namespace korin::standin
