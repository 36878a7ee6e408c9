#pragma once

// The stand-in's Task Scheduler: the 2.0 and 1.0 object chains over the
// machine's task store. As on Windows, an object's changes live in memory
// until RegisterTaskDefinition (2.0) or the work item's Save (1.0) writes
// the whole task.

#include "platform/com_runtime_posix.h"
#include "platform/standin/machine.h"
#include "task/task_scheduler.h"

namespace korin {

class StandInTaskScheduling final : public TaskScheduling {
  public:
    StandInTaskScheduling(const standin::Machine& machine, const StandInComRuntime& com)
        : machine_(machine), com_(com) {}

    HResult createTaskService(std::unique_ptr<TaskService>& service) override;
    HResult createWorkItemScheduler(std::unique_ptr<WorkItemScheduler>& scheduler) override;

  private:
    const standin::Machine& machine_;
    const StandInComRuntime& com_;
};

}  // namespace korin
