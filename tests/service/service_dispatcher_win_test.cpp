// The dispatcher port's Win32 adapter, run under Wine outside any Service
// Control Manager start: what a program started from a console or a task
// meets.

#include "platform/error_codes.h"
#include "service/service_dispatcher_win.h"
#include "service/service_info.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace korin {
namespace {

bool serviceMainRan = false;

TEST(WinServiceDispatcher, OutsideTheServiceControlManagerTheDispatcherFailsWith1063) {
    WinServiceDispatcher dispatcher;
    serviceMainRan = false;
    SetLastError(0);
    EXPECT_FALSE(dispatcher.startDispatcher(kServiceName, [] { serviceMainRan = true; }));
    EXPECT_EQ(GetLastError(), kErrorFailedServiceControllerConnect);
    EXPECT_FALSE(serviceMainRan);
}

TEST(WinServiceDispatcher, TheStopEventIsCreatedAndSignalled) {
    WinServiceDispatcher dispatcher;
    auto event = dispatcher.createStopEvent();
    ASSERT_NE(event, nullptr);
    EXPECT_TRUE(event->set());
    EXPECT_TRUE(event->set());  // manual reset: setting it again is no error
}

}  // namespace
}  // namespace korin
