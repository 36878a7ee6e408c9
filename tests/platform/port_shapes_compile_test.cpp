// The coming ports are declared before any adapter or fake implements them;
// including them here keeps each header compiling on both builds (warnings
// as errors) until their first users arrive, and beside the ports that
// already define platform constants, so that none is defined twice.

#include "platform/com_runtime.h"
#include "platform/runtime_library.h"
#include "platform/service_control.h"
#include "platform/shell.h"
#include "service/service_dispatcher.h"
#include "task/task_scheduler.h"
