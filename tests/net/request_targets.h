#pragma once

// Object names from manifest text and the request target WinHTTP sends for
// each (read off the wire under Wine); the libcurl adapter must send the
// same bytes. Both builds' tests run them against the test server's log.

#include <string>
#include <vector>

namespace korin::testing {

struct RequestTarget {
    std::wstring object;
    std::string target;
};

inline std::vector<RequestTarget> requestTargets() {
    std::wstring loneSurrogate = L"/pub/s";
    loneSurrogate += static_cast<wchar_t>(0xD800);
    loneSurrogate += L"x";
    return {
        {L"/pub/a b/c d.xml", "/pub/a%20b/c%20d.xml"},
        {L"/pub/p#frag/x.xml", "/pub/p%23frag/x.xml"},
        {L"/pub/q?x=1&y=2#z", "/pub/q?x=1&y=2%23z"},
        {L"/pub/ques?t?x#a#b?c", "/pub/ques?t?x%23a%23b?c"},
        {L"/pub/pct%41%zz%/x", "/pub/pct%41%zz%/x"},
        {L"/pub/u\u00e9\u4e2d/x", "/pub/u%C3%A9%E4%B8%AD/x"},
        {L"/pub/e\U0001F600", "/pub/e%F0%9F%98%80"},
        {loneSurrogate, "/pub/s%EF%BF%BDx"},
        {L"/pub/dot/./x/../y", "/pub/dot/./x/../y"},
        {L"/pub/sym!$&'()*+,;=:@[]{}|\\^`\"<>~",
         "/pub/sym!$&'()*+,;=:@%5B%5D%7B%7D%7C%5C%5E%60%22%3C%3E~"},
        {L"/pub/ctl\t\r\n\x01\x7f", "/pub/ctl%09%0D%0A%01%7F"},
        {L"//double", "//double"},
        {L"relative", "/relative"},
        {L"", "/"},
    };
}

}  // namespace korin::testing
