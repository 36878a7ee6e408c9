#pragma once

// The hourly task that brings the service back: created or repaired, and
// deleted, through the Task Scheduler 2.0 interfaces on NT 6.0 and later and
// the 1.0 interfaces before.

#include <string>
#include "support/log_codes.h"

namespace korin {

struct Platform;

inline constexpr wchar_t kUpdateTaskName[] = L"Vemra Korin Player Updater";

// True when the task was created or an existing one was updated.
bool createUpdateTask(const Platform& platform, const std::wstring& modulePath);
// True only when the platform's delete answered exactly S_OK.
bool deleteUpdateTask(const Platform& platform);
// "YYYY-MM-DDT00:mm:00Z"-shaped: 1 January 2000 at a random minute past
// midnight, 20 characters.
std::wstring randomStartBoundary(const Platform& platform);

// Log codes. Task Scheduler 1.0, creation.
inline constexpr int kLogWorkItemSchedulerNotCreated = logCode(1242);
inline constexpr int kLogWorkItemComNotInitialized = logCode(1243);
inline constexpr int kLogWorkItemNotActivated = logCode(1244);
inline constexpr int kLogWorkItemTriggerCountUnavailable = logCode(1245);
inline constexpr int kLogWorkItemHasNoTrigger = logCode(1246);
inline constexpr int kLogWorkItemTriggerUnavailable = logCode(1247);
inline constexpr int kLogWorkItemTriggerNotRead = logCode(1248);
inline constexpr int kLogWorkItemTriggerNotWritten = logCode(1249);
inline constexpr int kLogWorkItemUpdatePersistUnavailable = logCode(1250);
inline constexpr int kLogWorkItemUpdateNotSaved = logCode(1251);
inline constexpr int kLogWorkItemNotCreated = logCode(1252);
inline constexpr int kLogWorkItemAccountRejected = logCode(1253);
inline constexpr int kLogWorkItemTriggerNotCreated = logCode(1254);
inline constexpr int kLogWorkItemTriggerNotSet = logCode(1255);
inline constexpr int kLogWorkItemNewPersistUnavailable = logCode(1256);
inline constexpr int kLogWorkItemNewNotSaved = logCode(1257);
inline constexpr int kLogWorkItemCreatorRejected = logCode(1421);
inline constexpr int kLogWorkItemCommentRejected = logCode(1422);
inline constexpr int kLogWorkItemApplicationRejected = logCode(1423);
inline constexpr int kLogWorkItemFlagsRejected = logCode(1424);
inline constexpr int kLogWorkItemUpdated = logCode(1624);
inline constexpr int kLogWorkItemSaved = logCode(1625);
// Task Scheduler 2.0, creation: both paths.
inline constexpr int kLogTaskComNotInitialized = logCode(1258);
inline constexpr int kLogTaskComSecurityFailed = logCode(1259);
inline constexpr int kLogTaskServiceNotCreated = logCode(1260);
inline constexpr int kLogTaskServiceNotConnected = logCode(1261);
inline constexpr int kLogTaskRootFolderUnavailable = logCode(1262);
inline constexpr int kLogTaskSettingsUnavailable = logCode(1272);
inline constexpr int kLogTaskCompatibilityRejected = logCode(1273);
// ... the update path.
inline constexpr int kLogTaskDefinitionUnavailable = logCode(1263);
inline constexpr int kLogTaskTriggersUnavailable = logCode(1264);
inline constexpr int kLogTaskTriggerCountUnavailable = logCode(1265);
inline constexpr int kLogTaskHasNoTrigger = logCode(1266);
inline constexpr int kLogTaskFirstTriggerUnavailable = logCode(1267);
inline constexpr int kLogTaskRepetitionUnavailable = logCode(1268);
inline constexpr int kLogTaskIntervalRejected = logCode(1269);
inline constexpr int kLogTaskUpdateNotRegistered = logCode(1270);
inline constexpr int kLogTaskUpdated = logCode(1626);
// ... the new path (its action steps serve the update path as well).
inline constexpr int kLogTaskNewDefinitionFailed = logCode(1271);
inline constexpr int kLogTaskBatterySettingRejected = logCode(1274);
inline constexpr int kLogTaskNetworkSettingRejected = logCode(1275);
inline constexpr int kLogTaskRegistrationInfoUnavailable = logCode(1276);
inline constexpr int kLogTaskAuthorRejected = logCode(1277);
inline constexpr int kLogTaskDescriptionRejected = logCode(1278);
inline constexpr int kLogTaskNewTriggersUnavailable = logCode(1279);
inline constexpr int kLogTaskDailyTriggerNotCreated = logCode(1280);
inline constexpr int kLogTaskDailyTriggerUnavailable = logCode(1281);
inline constexpr int kLogTaskTriggerIdRejected = logCode(1282);
inline constexpr int kLogTaskStartBoundaryRejected = logCode(1283);
inline constexpr int kLogTaskDaysIntervalRejected = logCode(1284);
inline constexpr int kLogTaskNewRepetitionUnavailable = logCode(1285);
inline constexpr int kLogTaskDurationRejected = logCode(1286);
inline constexpr int kLogTaskNewIntervalRejected = logCode(1287);
inline constexpr int kLogTaskActionsUnavailable = logCode(1288);
inline constexpr int kLogTaskExecActionNotCreated = logCode(1289);
inline constexpr int kLogTaskExecActionUnavailable = logCode(1290);
inline constexpr int kLogTaskPathRejected = logCode(1291);
inline constexpr int kLogTaskNewNotRegistered = logCode(1292);
inline constexpr int kLogTaskRegistered = logCode(1627);
// Deletion.
inline constexpr int kLogDeleteWorkItemSchedulerNotCreated = logCode(1293);
inline constexpr int kLogDeleteWorkItemComNotInitialized = logCode(1294);
inline constexpr int kLogDeleteTaskComNotInitialized = logCode(1295);
inline constexpr int kLogDeleteTaskComSecurityFailed = logCode(1296);
inline constexpr int kLogDeleteTaskServiceNotCreated = logCode(1297);
inline constexpr int kLogDeleteTaskServiceNotConnected = logCode(1298);
inline constexpr int kLogDeleteTaskRootFolderUnavailable = logCode(1299);

}  // namespace korin
