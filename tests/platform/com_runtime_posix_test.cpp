#include "platform/com_runtime_posix.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace korin {
namespace {

enum class Call { Mta, Sta, Security, Leave };

// Each row: calls on one thread of a fresh process, and COM's answers.
TEST(StandInComRuntime, AnswersAsComDoes) {
    struct Case {
        const char* what;
        std::vector<Call> calls;
        std::vector<HResult> answers;  // none for a leave
    };
    const Case cases[] = {
        {"first join", {Call::Mta}, {kSOk}},
        {"second join of the same kind", {Call::Mta, Call::Mta}, {kSOk, kSFalse}},
        {"the other kind", {Call::Mta, Call::Sta}, {kSOk, kRpcEChangedMode}},
        {"the other kind, single-threaded first", {Call::Sta, Call::Mta}, {kSOk, kRpcEChangedMode}},
        {"a changed mode is not counted",
         {Call::Sta, Call::Mta, Call::Leave, Call::Mta},
         {kSOk, kRpcEChangedMode, kSOk}},
        {"joined anew after the last leave",
         {Call::Mta, Call::Mta, Call::Leave, Call::Leave, Call::Sta},
         {kSOk, kSFalse, kSOk}},
        {"security once", {Call::Mta, Call::Security, Call::Security}, {kSOk, kSOk, kRpcETooLate}},
        {"security stays set after leaving",
         {Call::Mta, Call::Security, Call::Leave, Call::Mta, Call::Security},
         {kSOk, kSOk, kSOk, kRpcETooLate}},
        {"security needs an apartment", {Call::Security}, {kCoENotInitialized}},
    };
    for (const Case& c : cases) {
        StandInComRuntime com;
        std::vector<HResult> answers;
        for (const Call call : c.calls) {
            switch (call) {
                case Call::Mta:
                    answers.push_back(com.initializeEx(kCoinitMultithreaded));
                    break;
                case Call::Sta:
                    answers.push_back(com.initialize());
                    break;
                case Call::Security:
                    answers.push_back(com.initializeSecurity(kRpcCAuthnLevelPktPrivacy,
                                                             kRpcCImpLevelImpersonate));
                    break;
                case Call::Leave:
                    com.uninitialize();
                    break;
            }
        }
        EXPECT_EQ(answers, c.answers) << c.what;
    }
}

TEST(StandInComRuntime, EachThreadJoinsOnItsOwn) {
    StandInComRuntime com;
    ASSERT_EQ(com.initializeEx(kCoinitMultithreaded), kSOk);
    HResult other = kEFail;
    bool joinedThere = true;
    std::thread([&] {
        joinedThere = com.joined();
        other = com.initialize();
        com.uninitialize();
    }).join();
    EXPECT_FALSE(joinedThere);
    EXPECT_EQ(other, kSOk);
    EXPECT_TRUE(com.joined());
    com.uninitialize();
    EXPECT_FALSE(com.joined());
}

}  // namespace
}  // namespace korin
