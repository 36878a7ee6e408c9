#pragma once

// The hourly task that brings the service back: created or repaired, and
// deleted, through the Task Scheduler 2.0 interfaces on NT 6.0 and later and
// the 1.0 interfaces before.

#include <string>

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
inline constexpr int kLogWorkItemSchedulerNotCreated = 1242;
inline constexpr int kLogWorkItemComNotInitialized = 1243;
inline constexpr int kLogWorkItemNotActivated = 1244;
inline constexpr int kLogWorkItemTriggerCountUnavailable = 1245;
inline constexpr int kLogWorkItemHasNoTrigger = 1246;
inline constexpr int kLogWorkItemTriggerUnavailable = 1247;
inline constexpr int kLogWorkItemTriggerNotRead = 1248;
inline constexpr int kLogWorkItemTriggerNotWritten = 1249;
inline constexpr int kLogWorkItemUpdatePersistUnavailable = 1250;
inline constexpr int kLogWorkItemUpdateNotSaved = 1251;
inline constexpr int kLogWorkItemNotCreated = 1252;
inline constexpr int kLogWorkItemAccountRejected = 1253;
inline constexpr int kLogWorkItemTriggerNotCreated = 1254;
inline constexpr int kLogWorkItemTriggerNotSet = 1255;
inline constexpr int kLogWorkItemNewPersistUnavailable = 1256;
inline constexpr int kLogWorkItemNewNotSaved = 1257;
inline constexpr int kLogWorkItemCreatorRejected = 1421;
inline constexpr int kLogWorkItemCommentRejected = 1422;
inline constexpr int kLogWorkItemApplicationRejected = 1423;
inline constexpr int kLogWorkItemFlagsRejected = 1424;
inline constexpr int kLogWorkItemUpdated = 1624;
inline constexpr int kLogWorkItemSaved = 1625;
// Task Scheduler 2.0, creation: both paths.
inline constexpr int kLogTaskComNotInitialized = 1258;
inline constexpr int kLogTaskComSecurityFailed = 1259;
inline constexpr int kLogTaskServiceNotCreated = 1260;
inline constexpr int kLogTaskServiceNotConnected = 1261;
inline constexpr int kLogTaskRootFolderUnavailable = 1262;
inline constexpr int kLogTaskSettingsUnavailable = 1272;
inline constexpr int kLogTaskCompatibilityRejected = 1273;
// ... the update path.
inline constexpr int kLogTaskDefinitionUnavailable = 1263;
inline constexpr int kLogTaskTriggersUnavailable = 1264;
inline constexpr int kLogTaskTriggerCountUnavailable = 1265;
inline constexpr int kLogTaskHasNoTrigger = 1266;
inline constexpr int kLogTaskFirstTriggerUnavailable = 1267;
inline constexpr int kLogTaskRepetitionUnavailable = 1268;
inline constexpr int kLogTaskIntervalRejected = 1269;
inline constexpr int kLogTaskUpdateNotRegistered = 1270;
inline constexpr int kLogTaskUpdated = 1626;
// ... the new path (its action steps serve the update path as well).
inline constexpr int kLogTaskNewDefinitionFailed = 1271;
inline constexpr int kLogTaskBatterySettingRejected = 1274;
inline constexpr int kLogTaskNetworkSettingRejected = 1275;
inline constexpr int kLogTaskRegistrationInfoUnavailable = 1276;
inline constexpr int kLogTaskAuthorRejected = 1277;
inline constexpr int kLogTaskDescriptionRejected = 1278;
inline constexpr int kLogTaskNewTriggersUnavailable = 1279;
inline constexpr int kLogTaskDailyTriggerNotCreated = 1280;
inline constexpr int kLogTaskDailyTriggerUnavailable = 1281;
inline constexpr int kLogTaskTriggerIdRejected = 1282;
inline constexpr int kLogTaskStartBoundaryRejected = 1283;
inline constexpr int kLogTaskDaysIntervalRejected = 1284;
inline constexpr int kLogTaskNewRepetitionUnavailable = 1285;
inline constexpr int kLogTaskDurationRejected = 1286;
inline constexpr int kLogTaskNewIntervalRejected = 1287;
inline constexpr int kLogTaskActionsUnavailable = 1288;
inline constexpr int kLogTaskExecActionNotCreated = 1289;
inline constexpr int kLogTaskExecActionUnavailable = 1290;
inline constexpr int kLogTaskPathRejected = 1291;
inline constexpr int kLogTaskNewNotRegistered = 1292;
inline constexpr int kLogTaskRegistered = 1627;
// Deletion.
inline constexpr int kLogDeleteWorkItemSchedulerNotCreated = 1293;
inline constexpr int kLogDeleteWorkItemComNotInitialized = 1294;
inline constexpr int kLogDeleteTaskComNotInitialized = 1295;
inline constexpr int kLogDeleteTaskComSecurityFailed = 1296;
inline constexpr int kLogDeleteTaskServiceNotCreated = 1297;
inline constexpr int kLogDeleteTaskServiceNotConnected = 1298;
inline constexpr int kLogDeleteTaskRootFolderUnavailable = 1299;

}  // namespace korin
