#pragma once

// What every adapter of the HTTP port answers, the fake's, the stand-in's
// and WinHTTP's alike: one GET per case through the port's whole chain, with
// the body read in small pieces, or the step that fails and WinHTTP's code.

#include "net/http.h"
#include "platform/error_codes.h"
#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace korin::testing {

struct HttpCase {
    std::wstring server;
    std::wstring object;
    // The body, or what of it arrived before the failure; "*" for any
    // non-empty body other than body of the first case (a server's page for a
    // status that is not 200).
    std::string body;
    // The code of the first failing step; 0 when every step succeeds.
    std::uint32_t error = 0;
    std::uint16_t port = kHttpsPort;
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

// The test server's other ports (tools/update_server: --second-port, --http-port).
inline constexpr std::uint16_t kTestServerSecondPort = 8443;
inline constexpr std::uint16_t kTestServerHttpPort = 8080;

// Cases only a real server shows: writes their files and misbehaviours into
// the test server's tree (served by host, also known as mirror, a name only
// the machine's hosts file gives). Nothing but the kernel's queue answers on
// silentPort of host, so a TLS handshake there is never answered (0: no
// such case). Where Wine departs from Windows' documentation, wine expects
// Wine's answer instead.
inline std::vector<HttpCase> serverBehaviourCases(const std::filesystem::path& tree,
                                                  const std::wstring& host,
                                                  const std::wstring& mirror,
                                                  std::uint16_t silentPort, bool wine) {
    const std::string body = "<contract>" + std::string(200, 'k') + "</contract>\n";
    const std::string half = body.substr(0, body.size() / 2);
    std::filesystem::create_directories(tree / "contract");
    for (const char* name : {"body.xml", "cutoff.xml", "drop.xml"}) {
        std::ofstream(tree / "contract" / name, std::ios::binary) << body;
    }
    const std::string name(host.begin(), host.end());
    const std::string other(mirror.begin(), mirror.end());
    std::ofstream rules(tree / "misbehave", std::ios::binary | std::ios::app);
    rules << "/contract/cutoff.xml cutoff\n/contract/drop.xml drop\n"
          << "/contract/loop redirect302 /contract/loop\n";
    // clang-format off
    const struct { const char* where; std::string location; } targets[] = {
        {"path", "/contract/body.xml"},
        {"host", "https://" + other + "/contract/body.xml"},
        {"port", "https://" + name + ":" + std::to_string(kTestServerSecondPort) + "/contract/body.xml"},
        {"http", "http://" + name + ":" + std::to_string(kTestServerHttpPort) + "/contract/body.xml"},
    };
    // clang-format on
    std::vector<HttpCase> cases = {{host, L"/contract/body.xml", body}};
    for (int status : {301, 302, 307}) {
        for (const auto& target : targets) {
            const std::string from = "/contract/" + std::to_string(status) + "-" + target.where;
            rules << from << " redirect" << status << " " << target.location << "\n";
            // The default policy follows every redirect but one from https
            // to http, which fails the receive (Wine as documented).
            if (std::string(target.where) == "http") {
                cases.push_back({host, std::wstring(from.begin(), from.end()), "",
                                 kErrorWinHttpRedirectFailed});
            } else {
                cases.push_back({host, std::wstring(from.begin(), from.end()), body});
            }
        }
    }
    // A connection that ends before Content-Length is "terminated": 12030
    // by the documentation of WinHttpQueryDataAvailable and WinHttpReadData;
    // Wine reports the end of the body instead, close_notify or not.
    const std::uint32_t cut = wine ? 0 : kErrorWinHttpConnectionError;
    // clang-format off
    cases.insert(cases.end(), {
        // WinHTTP follows at most 10 redirects (11 requests, Wine as documented).
        {host, L"/contract/loop", "", kErrorWinHttpRedirectFailed},
        {host, L"/contract/cutoff.xml", half, cut},
        {host, L"/contract/drop.xml", half, cut},
    });
    // clang-format on
    // The handshake waits as any response does (30 s by default), then
    // 12002; Wine's WinHTTP never gives up on it.
    if (silentPort != 0) {
        cases.push_back({host, L"/contract/body.xml", "", kErrorWinHttpTimeout, silentPort});
    }
    return cases;
}

inline void holdsTheHttpContract(Http& http, const std::vector<HttpCase>& cases) {
    ASSERT_FALSE(cases.empty());
    for (const HttpCase& c : cases) {
        const std::string what = std::string(c.server.begin(), c.server.end()) +
                                 std::string(c.object.begin(), c.object.end()) + " port " +
                                 std::to_string(c.port);
        setLastError(0);
        std::uint32_t error = 0;
        std::string body;
        auto session = http.open(L"Korin contract", kHttpAccessTypeDefaultProxy);
        ASSERT_TRUE(session) << what << " " << lastError();
        auto connection = session->connect(c.server, c.port);
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
        if (c.body == "*") {
            EXPECT_FALSE(body.empty()) << what;
            EXPECT_NE(body, cases.front().body) << what;
        } else {
            EXPECT_EQ(body, c.body) << what;
        }
    }
}

}  // namespace korin::testing
