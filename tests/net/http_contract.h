#pragma once

// What every adapter of the HTTP port answers, the fake's, the stand-in's
// and WinHTTP's alike: one GET per case through the port's whole chain, with
// the body read in small pieces, or the step that fails and WinHTTP's code.

#include "net/http.h"
#include "platform/error_codes.h"
#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korin::testing {

struct HttpCase {
    std::wstring server;
    std::wstring object;
    // The body; "*" for any non-empty body other than body of the first case
    // (a server's page for a status that is not 200).
    std::string body;
    // The code of the first failing step; 0 when every step succeeds.
    std::uint32_t error = 0;
};

// The cases of a target: host serves object with body; missingObject is not
// there; unknownHost names nothing; closedHost is an address where nothing
// listens. Targets that resolve no names (the fake) leave the last two empty.
inline std::vector<HttpCase> httpCases(const std::wstring& host, const std::wstring& object,
                                       const std::string& body, const std::wstring& missingObject,
                                       const std::wstring& unknownHost,
                                       const std::wstring& closedHost) {
    std::vector<HttpCase> cases = {{host, object, body}, {host, missingObject, "*"}};
    if (!unknownHost.empty()) {
        cases.push_back({unknownHost, object, "", kErrorWinHttpNameNotResolved});
    }
    if (!closedHost.empty()) {
        cases.push_back({closedHost, object, "", kErrorWinHttpCannotConnect});
    }
    return cases;
}

inline void holdsTheHttpContract(Http& http, const std::vector<HttpCase>& cases) {
    ASSERT_FALSE(cases.empty());
    for (const HttpCase& c : cases) {
        const std::string what = std::string(c.server.begin(), c.server.end()) +
                                 std::string(c.object.begin(), c.object.end());
        setLastError(0);
        std::uint32_t error = 0;
        std::string body;
        auto session = http.open(L"Korin contract", kHttpAccessTypeDefaultProxy);
        ASSERT_TRUE(session) << what << " " << lastError();
        auto connection = session->connect(c.server, kHttpsPort);
        ASSERT_TRUE(connection) << what << " " << lastError();
        auto request = connection->openRequest(L"GET", c.object, kHttpFlagSecure);
        ASSERT_TRUE(request) << what << " " << lastError();
        if (!request->sendRequest() || !request->receiveResponse()) {
            error = lastError();
        } else {
            std::uint32_t available = 0;
            while (error == 0) {
                if (!request->queryDataAvailable(available)) {
                    error = lastError();
                    break;
                }
                if (available == 0) {
                    break;
                }
                char piece[5];
                std::uint32_t read = 0;
                if (!request->readData(piece, sizeof piece, read)) {
                    error = lastError();
                    break;
                }
                EXPECT_LE(read, sizeof piece) << what;
                body.append(piece, read);
            }
        }
        EXPECT_EQ(error, c.error) << what;
        if (c.error != 0) {
            EXPECT_EQ(body, "") << what;
        } else if (c.body == "*") {
            EXPECT_FALSE(body.empty()) << what;
            EXPECT_NE(body, cases.front().body) << what;
        } else {
            EXPECT_EQ(body, c.body) << what;
        }
    }
}

}  // namespace korin::testing
