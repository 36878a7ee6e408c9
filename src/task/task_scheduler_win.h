#pragma once

// The Win32 Task Scheduler adapter: the 2.0 and 1.0 COM interfaces.

#include "task/task_scheduler.h"

namespace korin {

// The platform's Task Scheduler: the 2.0 interfaces of taskschd.dll and the
// 1.0 interfaces of mstask.dll, created as in-process servers.
class WinTaskScheduling final : public TaskScheduling {
  public:
    HResult createTaskService(std::unique_ptr<TaskService>& service) override;
    HResult createWorkItemScheduler(std::unique_ptr<WorkItemScheduler>& scheduler) override;
};

}  // namespace korin
