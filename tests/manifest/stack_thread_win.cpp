#include "manifest/stack_thread.h"

#include "platform/unique_handle_win.h"

#include <windows.h>

namespace korin::testing {

namespace {
DWORD WINAPI runWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}
}  // namespace

bool runOnStack(std::size_t stackBytes, const std::function<void()>& work) {
    const UniqueHandle thread(CreateThread(nullptr, stackBytes, runWork,
                                           const_cast<std::function<void()>*>(&work),
                                           STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    return thread && WaitForSingleObject(thread.get(), INFINITE) == WAIT_OBJECT_0;
}

}  // namespace korin::testing
