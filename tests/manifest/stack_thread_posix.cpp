#include "manifest/stack_thread.h"

#include <pthread.h>

namespace korin::testing {

namespace {
void* runWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return nullptr;
}
}  // namespace

bool runOnStack(std::size_t stackBytes, const std::function<void()>& work) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    pthread_t thread;
    const bool started = pthread_attr_setstacksize(&attributes, stackBytes) == 0 &&
                         pthread_create(&thread, &attributes, runWork,
                                        const_cast<std::function<void()>*>(&work)) == 0;
    pthread_attr_destroy(&attributes);
    return started && pthread_join(thread, nullptr) == 0;
}

}  // namespace korin::testing
