#pragma once

// Every log code of the program and what it means.

#include <cstddef>
#include <cstdint>

namespace korin {

// What follows a code in an entry, after one space.
enum class LogDetail : std::uint8_t {
    None,         // the code alone
    SystemError,  // the thread's last error, a Win32 code or an HRESULT, signed decimal
    Text,         // a path, a host name or a control code
};

// What a log code means, in plain words, for the administrator reading the log.
struct LogCodeMeaning {
    std::int32_t code;
    LogDetail detail;
    const char* meaning;
};

// Every code the program can log. A code constant is written as
// logCode(NNNN), so a code without a meaning here does not compile.
inline constexpr LogCodeMeaning kLogCodeMeanings[] = {
    // Digests of installed player files (warnings, detail: the system error).
    {1119, LogDetail::SystemError, "the hashing functions could not be bound for a file digest"},
    {1148, LogDetail::SystemError, "no cryptographic provider context for a file digest"},
    {1149, LogDetail::SystemError, "the hash object for a file digest could not be created"},
    {1150, LogDetail::SystemError, "a block of an installed player file could not be hashed"},
    {1151, LogDetail::SystemError, "an installed player file could not be opened for its digest"},
    {1152, LogDetail::SystemError, "an installed player file is empty (or its size is unknown)"},
    {1154, LogDetail::SystemError, "the digest size could not be read"},
    {1155, LogDetail::SystemError, "the digest value could not be read"},
    {1157, LogDetail::SystemError,
     "file-system redirection could not be switched off for a digest"},
    {1158, LogDetail::SystemError, "file-system redirection could not be switched back on"},
    // The package download.
    {1201, LogDetail::SystemError, "no usable temporary folder for the package download"},
    {1203, LogDetail::SystemError, "no temporary file name could be made for the package download"},
    {1205, LogDetail::SystemError, "the fallback temporary file could not be deleted"},
    {1206, LogDetail::SystemError, "the package download's temporary folder could not be created"},
    {1207, LogDetail::SystemError, "the package download file could not be created"},
    {1209, LogDetail::SystemError, "the package download stopped: no more data could be asked for"},
    {1210, LogDetail::SystemError, "the package download ran out of memory"},
    {1211, LogDetail::SystemError, "the package download stopped: reading from the server failed"},
    {1212, LogDetail::SystemError, "the package download file could not be written"},
    {1214, LogDetail::SystemError, "the package request failed before a response came"},
    {1215, LogDetail::SystemError, "KorinPlayerInstaller.exe could not be created"},
    {1216, LogDetail::SystemError, "KorinPlayerInstaller.exe could not be written"},
    {1217, LogDetail::SystemError, "the package's signature could not be verified"},
    {1218, LogDetail::SystemError, "the installer could not be started"},
    // Service registration and control.
    {1219, LogDetail::SystemError, "service creation: the service manager could not be opened"},
    {1220, LogDetail::SystemError, "the service could not be created"},
    {1221, LogDetail::SystemError, "service start: the service manager could not be opened"},
    {1222, LogDetail::SystemError, "service start: the service could not be opened"},
    {1223, LogDetail::SystemError, "the service manager refused to start the service"},
    {1224, LogDetail::SystemError, "service stop: the service manager could not be opened"},
    {1225, LogDetail::SystemError, "service stop: the service could not be opened"},
    {1226, LogDetail::SystemError,
     "the stop request failed (also when the service was not running)"},
    {1227, LogDetail::SystemError, "service deletion: the service manager could not be opened"},
    {1228, LogDetail::SystemError, "service deletion: the service could not be opened"},
    {1229, LogDetail::SystemError, "the service could not be deleted"},
    {1230, LogDetail::SystemError, "service description: the service manager could not be opened"},
    {1231, LogDetail::SystemError, "service description: the service could not be opened"},
    {1232, LogDetail::SystemError, "the service's description could not be set"},
    {1233, LogDetail::SystemError, "the settings file could not be read at service start"},
    {1234, LogDetail::SystemError, "the ActiveX update could not be launched"},
    {1235, LogDetail::SystemError, "no memory for the installer's command line"},
    {1236, LogDetail::SystemError, "no memory to launch the installer"},
    {1238, LogDetail::SystemError, "the settings file's server domain is not valid UTF-8"},
    {1239, LogDetail::SystemError, "no memory at program start"},
    {1240, LogDetail::SystemError, "the service's control handler could not be registered"},
    {1241, LogDetail::SystemError, "the service worker found no service context"},
    // The hourly task: Task Scheduler 1.0 (before Windows Vista).
    {1242, LogDetail::SystemError, "task (1.0): the scheduler could not be created"},
    {1243, LogDetail::SystemError, "task (1.0): COM could not be initialised"},
    {1244, LogDetail::SystemError, "task (1.0): the existing work item could not be opened"},
    {1245, LogDetail::SystemError, "task (1.0): the work item's trigger count is unavailable"},
    {1246, LogDetail::SystemError, "task (1.0): the existing work item has no trigger"},
    {1247, LogDetail::SystemError, "task (1.0): the work item's first trigger is unavailable"},
    {1248, LogDetail::SystemError, "task (1.0): the trigger could not be read"},
    {1249, LogDetail::SystemError, "task (1.0): the trigger could not be written"},
    {1250, LogDetail::SystemError, "task (1.0): the work item cannot be saved (no persistence)"},
    {1251, LogDetail::SystemError, "task (1.0): the updated work item could not be saved"},
    {1252, LogDetail::SystemError, "task (1.0): the new work item could not be created"},
    {1253, LogDetail::SystemError, "task (1.0): the account (SYSTEM) was rejected"},
    {1254, LogDetail::SystemError, "task (1.0): the new trigger could not be created"},
    {1255, LogDetail::SystemError, "task (1.0): the new trigger could not be set"},
    {1256, LogDetail::SystemError,
     "task (1.0): the new work item cannot be saved (no persistence)"},
    {1257, LogDetail::SystemError, "task (1.0): the new work item could not be saved"},
    // The hourly task: Task Scheduler 2.0.
    {1258, LogDetail::SystemError, "task: COM could not be initialised"},
    {1259, LogDetail::SystemError, "task: COM security could not be initialised"},
    {1260, LogDetail::SystemError, "task: the Task Scheduler service could not be created"},
    {1261, LogDetail::SystemError, "task: could not connect to the Task Scheduler"},
    {1262, LogDetail::SystemError, "task: the Task Scheduler's root folder is unavailable"},
    {1263, LogDetail::SystemError, "task update: the existing task's definition is unavailable"},
    {1264, LogDetail::SystemError, "task update: the triggers are unavailable"},
    {1265, LogDetail::SystemError, "task update: the trigger count is unavailable"},
    {1266, LogDetail::SystemError, "task update: the existing task has no trigger"},
    {1267, LogDetail::SystemError, "task update: the first trigger is unavailable"},
    {1268, LogDetail::SystemError, "task update: the repetition is unavailable"},
    {1269, LogDetail::SystemError, "task update: the hourly repetition was rejected"},
    {1270, LogDetail::SystemError, "task update: the task could not be registered"},
    {1271, LogDetail::SystemError, "new task: the definition could not be created"},
    {1272, LogDetail::SystemError, "task: the task's settings are unavailable"},
    {1273, LogDetail::SystemError, "task: the compatibility setting was rejected (went on)"},
    {1274, LogDetail::SystemError, "new task: the battery setting was rejected (went on)"},
    {1275, LogDetail::SystemError, "new task: the network setting was rejected (went on)"},
    {1276, LogDetail::SystemError, "new task: the registration info is unavailable"},
    {1277, LogDetail::SystemError, "new task: the author was rejected"},
    {1278, LogDetail::SystemError, "new task: the description was rejected"},
    {1279, LogDetail::SystemError, "new task: the triggers are unavailable"},
    {1280, LogDetail::SystemError, "new task: the daily trigger could not be created"},
    {1281, LogDetail::SystemError, "new task: the daily trigger is unavailable"},
    {1282, LogDetail::SystemError, "new task: the trigger id was rejected (went on)"},
    {1283, LogDetail::SystemError, "new task: the start boundary was rejected (went on)"},
    {1284, LogDetail::SystemError, "new task: the days interval was rejected"},
    {1285, LogDetail::SystemError, "new task: the repetition is unavailable"},
    {1286, LogDetail::SystemError, "new task: the repetition duration was rejected"},
    {1287, LogDetail::SystemError, "new task: the hourly repetition was rejected"},
    {1288, LogDetail::SystemError, "task (new or repair): actions unavailable or not cleared"},
    {1289, LogDetail::SystemError, "task (new or repair): the program action was not created"},
    {1290, LogDetail::SystemError, "task (new or repair): the program action is unavailable"},
    {1291, LogDetail::SystemError, "task (new or repair): the program path was rejected"},
    {1292, LogDetail::SystemError, "new task: the task could not be registered"},
    {1293, LogDetail::SystemError, "task deletion (1.0): the scheduler could not be created"},
    {1294, LogDetail::SystemError, "task deletion (1.0): COM could not be initialised"},
    {1295, LogDetail::SystemError, "task deletion: COM could not be initialised"},
    {1296, LogDetail::SystemError, "task deletion: COM security could not be initialised"},
    {1297, LogDetail::SystemError,
     "task deletion: the Task Scheduler service could not be created"},
    {1298, LogDetail::SystemError, "task deletion: could not connect to the Task Scheduler"},
    {1299, LogDetail::SystemError, "task deletion: the root folder is unavailable"},
    // The update cycle and the service.
    {1300, LogDetail::SystemError, "the Plugin update could not be launched"},
    {1301, LogDetail::None, "seven updates were launched without success: notify mode is set"},
    {1302, LogDetail::SystemError, "service check: the service manager could not be opened"},
    {1303, LogDetail::SystemError,
     "service reconfiguration: the service manager could not be opened"},
    {1304, LogDetail::SystemError, "service reconfiguration: the service could not be opened"},
    {1306, LogDetail::SystemError, "the Pepper update could not be launched"},
    // Manifest downloads (any manifest).
    {1400, LogDetail::SystemError, "manifest download: no HTTP session"},
    {1401, LogDetail::SystemError, "manifest download: could not connect to the update server"},
    {1402, LogDetail::SystemError, "manifest download: no request could be made"},
    {1403, LogDetail::SystemError, "manifest download: the request could not be sent"},
    {1404, LogDetail::SystemError, "manifest download: no more data could be asked for"},
    {1405, LogDetail::None, "manifest download: out of memory for the read buffer"},
    {1406, LogDetail::SystemError, "manifest download: reading from the server failed"},
    {1407, LogDetail::SystemError, "manifest download: no response from the update server"},
    {1408, LogDetail::None, "manifest download: no response; the request failed"},
    // Manifest contents.
    {1410, LogDetail::None, "version manifest: out of memory for the document"},
    {1411, LogDetail::None, "version manifest: no top-level \"version\" element"},
    {1413, LogDetail::SystemError, "the package download file could not be closed"},
    {1414, LogDetail::SystemError, "the package download file could not be deleted"},
    {1415, LogDetail::SystemError, "the package download's temporary folder could not be removed"},
    {1417, LogDetail::SystemError, "KorinPlayerInstaller.exe could not be closed"},
    {1418, LogDetail::None, "mode switch: no memory for the file manager"},
    {1419, LogDetail::None, "mode query: no memory for the file manager"},
    {1421, LogDetail::SystemError, "new task (1.0): the creator was rejected (went on)"},
    {1422, LogDetail::SystemError, "new task (1.0): the comment was rejected (went on)"},
    {1423, LogDetail::SystemError, "new task (1.0): the program was rejected (went on)"},
    {1424, LogDetail::SystemError, "new task (1.0): the flags were rejected (went on)"},
    {1425, LogDetail::None, "the package download folder's GUID could not be made text"},
    {1426, LogDetail::None, "the package download folder is named from a temporary file instead"},
    {1427, LogDetail::SystemError, "the existing service could not be reconfigured"},
    {1428, LogDetail::None, "mode switch: no memory for the settings file"},
    {1429, LogDetail::None, "mode query: no memory for the settings file"},
    {1430, LogDetail::None, "current-major manifest: out of memory for the player records"},
    {1431, LogDetail::None,
     "version manifest: not well-formed XML (the reason and the place follow)"},
    {1432, LogDetail::None, "no current-major manifest: the check ends here"},
    {1434, LogDetail::None, "version manifest: the offered version is incomplete"},
    {1436, LogDetail::None, "version manifest: no checkFrequency"},
    {1437, LogDetail::None, "version manifest: no element for this player type"},
    {1439, LogDetail::None, "version manifest: no \"SAUConfig\" element"},
    {1443, LogDetail::None, "patch manifest: out of memory for the document"},
    {1444, LogDetail::None,
     "patch manifest: not well-formed XML (the reason and the place follow)"},
    {1445, LogDetail::None, "patch manifest: no top-level \"patch\" element"},
    {1446, LogDetail::None, "patch manifest: an entry lacks hash32, hash64 or path"},
    {1447, LogDetail::None, "patch manifest: an entry has no element for this player type"},
    {1451, LogDetail::SystemError, "no memory for the service's dispatch table"},
    {1452, LogDetail::None, "version manifest: minVer is not a four-part version"},
    {1456, LogDetail::None, "current-major manifest: out of memory for the document"},
    {1457, LogDetail::None,
     "current-major manifest: not well-formed XML (the reason and the place follow)"},
    {1458, LogDetail::None, "current-major manifest: no top-level \"version\" element"},
    {1463, LogDetail::None, "current-major manifest: major or majorBeta is missing"},
    {1464, LogDetail::None, "current-major manifest: no \"Player\" element"},
    {1467, LogDetail::SystemError, "current-major manifest: no HTTP session"},
    {1468, LogDetail::SystemError,
     "current-major manifest: could not connect to the update server"},
    {1469, LogDetail::SystemError, "current-major manifest: no request could be made"},
    {1470, LogDetail::SystemError, "current-major manifest: the request could not be sent"},
    {1471, LogDetail::SystemError, "current-major manifest: no more data could be asked for"},
    {1472, LogDetail::SystemError, "current-major manifest: reading from the server failed"},
    {1473, LogDetail::None, "current-major manifest: out of memory for the read buffer"},
    {1474, LogDetail::SystemError, "current-major manifest: no response from the update server"},
    {1475, LogDetail::None, "current-major manifest: no response; the check stops here"},
    {1476, LogDetail::None, "current-major manifest: could not be read (the reason is above)"},
    {1478, LogDetail::None, "current-major manifest: loudVer is not a four-part version"},
    {1479, LogDetail::None, "current-major manifest: loudVerBeta is not a four-part version"},
    // Progress (info).
    {1600, LogDetail::None, "fetching the ActiveX full package"},
    {1601, LogDetail::None, "fetching the Plugin full package"},
    {1602, LogDetail::None, "the installer was started"},
    {1603, LogDetail::None, "the service was created"},
    {1604, LogDetail::None, "the service manager was asked to start the service"},
    {1605, LogDetail::None, "the service was asked to stop"},
    {1606, LogDetail::None, "the service was marked for deletion"},
    {1607, LogDetail::None, "silent auto-update is enabled"},
    {1608, LogDetail::None, "the update cycle begins"},
    {1609, LogDetail::None, "the ActiveX installer was started"},
    {1610, LogDetail::None, "the Plugin installer was started"},
    {1612, LogDetail::None, "the update cycle ends"},
    {1613, LogDetail::None, "auto-update is disabled in the settings"},
    {1614, LogDetail::None, "auto-update is not disabled in the settings"},
    {1615, LogDetail::None, "silent auto-update is on in the settings"},
    {1616, LogDetail::None, "silent auto-update is off in the settings"},
    {1617, LogDetail::None, "the program starts"},
    {1618, LogDetail::None, "connecting to the service manager"},
    {1619, LogDetail::SystemError, "not started by the service manager"},
    {1620, LogDetail::None, "the service has ended"},
    {1621, LogDetail::None, "the Pepper installer was started"},
    {1622, LogDetail::Text, "the service received a control"},
    {1623, LogDetail::None, "the service is stopping"},
    {1624, LogDetail::None, "the existing work item was updated"},
    {1625, LogDetail::None, "the new work item was saved"},
    {1626, LogDetail::None, "the existing task was registered again"},
    {1627, LogDetail::None, "the new task was registered"},
    {1629, LogDetail::Text, "the update server named in the settings is used"},
    {1630, LogDetail::Text, "asking the update server for a manifest"},
    {1631, LogDetail::Text, "asking the update server for the current-major manifest"},
    {1632, LogDetail::None, "a newer version is offered: update needed"},
    {1633, LogDetail::None, "a newer version is offered, but the installed one is too old for it"},
    {1635, LogDetail::None, "fetching the Pepper full package"},
    {1636, LogDetail::None, "fetching the ActiveX patch package"},
    {1637, LogDetail::None, "fetching the Plugin patch package"},
    {1638, LogDetail::None, "fetching the Pepper patch package"},
};

inline constexpr std::size_t kLogCodeCount = sizeof(kLogCodeMeanings) / sizeof(kLogCodeMeanings[0]);

// The code itself, when it has a meaning above; no build otherwise.
consteval std::int32_t logCode(std::int32_t code) {
    for (const LogCodeMeaning& entry : kLogCodeMeanings) {
        if (entry.code == code) {
            return code;
        }
    }
    throw "a log code needs its meaning in kLogCodeMeanings";
}

// The meaning of a code, or null for a code the program never logs.
const LogCodeMeaning* findLogCode(std::int32_t code);

}  // namespace korin
