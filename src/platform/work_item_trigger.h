#pragma once

// The Task Scheduler 1.0 trigger record, shared by the port
// (task/task_scheduler.h) and the stand-in's task store, which keeps it.

#include <cstdint>

namespace korin {

// TASK_TRIGGER, field for field (48 bytes on the platform).
struct WorkItemTriggerRecord {
    std::uint16_t triggerSize = 48;
    std::uint16_t reserved1 = 0;
    std::uint16_t beginYear = 0;
    std::uint16_t beginMonth = 0;
    std::uint16_t beginDay = 0;
    std::uint16_t endYear = 0;
    std::uint16_t endMonth = 0;
    std::uint16_t endDay = 0;
    std::uint16_t startHour = 0;
    std::uint16_t startMinute = 0;
    std::uint32_t minutesDuration = 0;
    std::uint32_t minutesInterval = 0;
    std::uint32_t flags = 0;
    std::uint32_t triggerType = 0;
    // TRIGGER_TYPE_UNION as four words; Daily.DaysInterval is the first.
    std::uint16_t typeWords[4] = {};
    std::uint16_t reserved2 = 0;
    std::uint16_t randomMinutesInterval = 0;
};

}  // namespace korin
