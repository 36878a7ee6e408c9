#include "service/service_registration.h"

#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <cwchar>

#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;
using testing::FakeServiceControl;

using testing::kStateKey;
constexpr wchar_t kSpacedPath[] = L"C:\\Program Files\\Korin\\KorinPlayerUpdateService.exe";
constexpr wchar_t kDescription[] = L"Keeps the player current.";
const ServiceInfo kInfo{kSpacedPath, kServiceName, kServiceDisplayName};

// A platform whose log shows every level, with text 120 in its table.
struct Machine {
    Machine() {
        logOptions().verbose = true;
        fake.strings.texts[120] = kDescription;
    }
    FakeServiceControl& scm() { return fake.serviceControl; }
    FakeServiceControl::Service* service() { return scm().find(kServiceName); }
    // The entries with the registration's codes (1219-1232, 1302-1304,
    // 1427, 1603-1606): the task's own entries are its tests' business.
    std::vector<std::wstring> registrationEntries() const {
        std::vector<std::wstring> kept;
        for (const std::wstring& entry : fake.logEntries()) {
            const long code = std::wcstol(entry.c_str() + entry.find(L' ') + 1, nullptr, 10);
            if ((code >= 1219 && code <= 1232) || (code >= 1302 && code <= 1304) || code == 1427 ||
                (code >= 1603 && code <= 1606)) {
                kept.push_back(entry);
            }
        }
        return kept;
    }
    FakePlatform fake;
};

using Operation = bool (*)(const Platform&, const ServiceInfo&);

TEST(ScmOperations, LogEveryFailureWithItsCodeAndTheSystemError) {
    constexpr std::uint32_t kNone = 0, kStopped = kServiceStopped, kRunning = kServiceRunning;
    struct Case {
        const char* name;
        Operation operation;
        std::uint32_t existing;  // the service's state; kNone: no service
        const char* fault;       // null: none injected
        int after;
        std::vector<std::wstring> entries;
        bool result;
    };
    const std::wstring described = L"[info] 1603";
    const Case cases[] = {
        {"exists, no manager",
         &scmServiceExists,
         kRunning,
         "scm.openManager",
         0,
         {L"[error] 1302 5"},
         false},
        {"exists, no service", &scmServiceExists, kNone, nullptr, 0, {}, false},
        {"exists", &scmServiceExists, kStopped, nullptr, 0, {}, true},
        {"create, no manager",
         &scmCreateService,
         kNone,
         "scm.openManager",
         0,
         {L"[error] 1219 5"},
         false},
        {"create, exists", &scmCreateService, kStopped, nullptr, 0, {L"[error] 1220 1073"}, false},
        {"create", &scmCreateService, kNone, nullptr, 0, {described}, true},
        {"create, description without manager",
         &scmCreateService,
         kNone,
         "scm.openManager",
         1,
         {described, L"[error] 1230 5"},
         false},
        {"create, description without service",
         &scmCreateService,
         kNone,
         "scm.openService",
         0,
         {described, L"[error] 1231 5"},
         false},
        {"create, description refused",
         &scmCreateService,
         kNone,
         "scm.changeDescription",
         0,
         {described, L"[error] 1232 5"},
         false},
        {"reconfigure, no manager",
         &scmUpdateServiceConfig,
         kStopped,
         "scm.openManager",
         0,
         {L"[error] 1303 5"},
         false},
        {"reconfigure, no service",
         &scmUpdateServiceConfig,
         kNone,
         nullptr,
         0,
         {L"[error] 1304 1060"},
         false},
        {"reconfigure refused",
         &scmUpdateServiceConfig,
         kStopped,
         "scm.changeConfig",
         0,
         {L"[warning] 1427 5"},
         false},
        {"reconfigure", &scmUpdateServiceConfig, kStopped, nullptr, 0, {}, true},
        {"reconfigure, description refused",
         &scmUpdateServiceConfig,
         kStopped,
         "scm.changeDescription",
         0,
         {L"[error] 1232 5"},
         false},
        {"describe, no manager",
         &scmSetServiceDescription,
         kStopped,
         "scm.openManager",
         0,
         {L"[error] 1230 5"},
         false},
        {"describe, no service",
         &scmSetServiceDescription,
         kNone,
         nullptr,
         0,
         {L"[error] 1231 1060"},
         false},
        {"start, no manager",
         &scmStartService,
         kStopped,
         "scm.openManager",
         0,
         {L"[error] 1221 5"},
         false},
        {"start, no service", &scmStartService, kNone, nullptr, 0, {L"[error] 1222 1060"}, false},
        {"start, running", &scmStartService, kRunning, nullptr, 0, {L"[error] 1223 1056"}, false},
        {"start", &scmStartService, kStopped, nullptr, 0, {L"[info] 1604"}, true},
        {"stop, no manager",
         &scmStopService,
         kRunning,
         "scm.openManager",
         0,
         {L"[error] 1224 5"},
         false},
        {"stop, no service", &scmStopService, kNone, nullptr, 0, {L"[error] 1225 1060"}, false},
        {"stop, stopped", &scmStopService, kStopped, nullptr, 0, {L"[error] 1226 1062"}, false},
        {"stop", &scmStopService, kRunning, nullptr, 0, {L"[info] 1605"}, true},
        {"delete, no manager",
         &scmDeleteService,
         kStopped,
         "scm.openManager",
         0,
         {L"[error] 1227 5"},
         false},
        {"delete, no service", &scmDeleteService, kNone, nullptr, 0, {L"[error] 1228 1060"}, false},
        {"delete refused",
         &scmDeleteService,
         kRunning,
         "scm.deleteService",
         0,
         {L"[error] 1229 5"},
         false},
        {"delete", &scmDeleteService, kRunning, nullptr, 0, {L"[info] 1606"}, true},
    };
    for (const Case& c : cases) {
        Machine machine;
        if (c.existing != kNone) {
            machine.scm().addService(kServiceName, c.existing);
        }
        if (c.fault != nullptr) {
            machine.scm().faults.failNext(c.fault, 5, c.after);
        }
        EXPECT_EQ(c.operation(machine.fake.platform(), kInfo), c.result) << c.name;
        EXPECT_EQ(machine.fake.logEntries(), c.entries) << c.name;
        EXPECT_EQ(machine.scm().openHandles, 0) << c.name;
    }
    // A service marked for deletion refuses its new configuration and a
    // second deletion.
    Machine machine;
    machine.scm().addService(kServiceName, kServiceRunning).markedForDeletion = true;
    EXPECT_FALSE(scmUpdateServiceConfig(machine.fake.platform(), kInfo));
    EXPECT_FALSE(scmDeleteService(machine.fake.platform(), kInfo));
    EXPECT_EQ(machine.fake.logEntries(),
              (std::vector<std::wstring>{L"[warning] 1427 1072", L"[error] 1229 1072"}));
}

TEST(ScmOperations, AskForTheRightsEachNeeds) {
    struct Case {
        const char* name;
        Operation operation;
        std::vector<std::uint32_t> managers;
        std::vector<std::uint32_t> services;
    };
    const std::uint32_t all = kScManagerAllAccess, everything = kServiceAllAccess,
                        config = kServiceChangeConfig;
    const Case cases[] = {
        {"exists", &scmServiceExists, {all}, {everything}},
        {"create", &scmCreateService, {kScManagerCreateService, all}, {config}},
        {"reconfigure", &scmUpdateServiceConfig, {all, all}, {config, config}},
        {"describe", &scmSetServiceDescription, {all}, {config}},
        {"start", &scmStartService, {all}, {everything}},
        {"stop", &scmStopService, {all}, {everything}},
        {"delete", &scmDeleteService, {all}, {everything}},
    };
    for (const Case& c : cases) {
        Machine machine;
        if (c.operation != &scmCreateService) {
            machine.scm().addService(kServiceName, kServiceRunning);
        }
        c.operation(machine.fake.platform(), kInfo);
        EXPECT_EQ(machine.scm().managerAccesses, c.managers) << c.name;
        std::vector<std::uint32_t> services;
        for (const auto& opened : machine.scm().opened) {
            EXPECT_EQ(opened.serviceName, kServiceName) << c.name;
            services.push_back(opened.access);
        }
        EXPECT_EQ(services, c.services) << c.name;
    }
}

TEST(ScmOperations, QuoteAPathWithASpaceAndNoOther) {
    struct Case {
        std::wstring modulePath;
        std::wstring written;
    };
    const Case cases[] = {
        {kSpacedPath, L"\"" + std::wstring(kSpacedPath) + L"\""},
        {L"C:\\Korin\\KorinPlayerUpdateService.exe", L"C:\\Korin\\KorinPlayerUpdateService.exe"},
        {L"C:\\Korin Player.exe", L"\"C:\\Korin Player.exe\""},
    };
    for (const Case& c : cases) {
        const ServiceInfo info{c.modulePath, kServiceName, kServiceDisplayName};
        Machine created;
        ASSERT_TRUE(scmCreateService(created.fake.platform(), info));
        EXPECT_EQ(created.service()->binaryPathName, c.written);

        Machine changed;
        changed.scm().addService(kServiceName, kServiceStopped);
        ASSERT_TRUE(scmUpdateServiceConfig(changed.fake.platform(), info));
        EXPECT_EQ(changed.service()->binaryPathName, c.written);
    }
}

TEST(InstallService, CreatesTheServiceOnAMachineWithoutIt) {
    Machine machine;
    machine.fake.registry.putDword(kStateKey, L"UpdateAttempts", 7);
    installService(machine.fake.platform(), kInfo);

    ASSERT_EQ(machine.scm().created.size(), 1u);
    const ServiceDefinition& definition = machine.scm().created[0];
    EXPECT_EQ(definition.serviceName, L"VemraKorinPlayerUpdateSvc");
    EXPECT_EQ(definition.displayName, L"Vemra Korin Player Update Service");
    EXPECT_EQ(definition.desiredAccess, kServiceStart | kServiceStop);
    EXPECT_EQ(definition.serviceType, kServiceWin32OwnProcess);
    EXPECT_EQ(definition.startType, kServiceDemandStart);
    EXPECT_EQ(definition.errorControl, kServiceErrorNormal);
    ASSERT_NE(machine.service(), nullptr);
    EXPECT_EQ(machine.service()->account, L"LocalSystem");
    EXPECT_EQ(machine.service()->description, kDescription);
    EXPECT_EQ(machine.registrationEntries(), std::vector<std::wstring>{L"[info] 1603"});
    // The first service run checks at once.
    EXPECT_EQ(machine.fake.registry.dword(kStateKey, L"UpdateAttempts"), 0u);
    EXPECT_EQ(machine.fake.registry.qword(kStateKey, L"LastUpdateCheck"), 0u);
    EXPECT_EQ(machine.fake.registry.dword(kStateKey, L"CheckFrequency"), 1u);
}

TEST(InstallService, LeavesAStoppedServiceAsItIsAndStillResetsTheState) {
    Machine machine;
    machine.scm().addService(kServiceName, kServiceStopped, L"C:\\old.exe");
    EXPECT_FALSE(installService(machine.fake.platform(), kInfo));

    EXPECT_EQ(machine.registrationEntries(), std::vector<std::wstring>{L"[error] 1226 1062"});
    EXPECT_TRUE(machine.scm().configChanges.empty());
    EXPECT_TRUE(machine.scm().descriptions.empty());
    EXPECT_EQ(machine.service()->binaryPathName, L"C:\\old.exe");
    EXPECT_EQ(machine.fake.registry.dword(kStateKey, L"CheckFrequency"), 1u);
}

TEST(InstallService, RewritesARunningServiceWithoutWaitingForItToStop) {
    Machine machine;
    machine.scm().addService(kServiceName, kServiceRunning, L"C:\\old.exe");
    installService(machine.fake.platform(), kInfo);

    EXPECT_EQ(machine.registrationEntries(), std::vector<std::wstring>{L"[info] 1605"});
    EXPECT_EQ(machine.scm().faults.calls("scm.queryStatus"), 0);
    const FakeServiceControl::Service& service = *machine.service();
    EXPECT_EQ(service.status.currentState, kServiceStopPending);
    EXPECT_EQ(service.binaryPathName, L"\"" + std::wstring(kSpacedPath) + L"\"");
    EXPECT_EQ(service.displayName, kServiceDisplayName);
    EXPECT_EQ(service.description, kDescription);
    ASSERT_EQ(machine.scm().configChanges.size(), 1u);
    const auto& change = machine.scm().configChanges[0];
    EXPECT_EQ(change.serviceType, kServiceNoChange);
    EXPECT_EQ(change.startType, kServiceNoChange);
    EXPECT_EQ(change.errorControl, kServiceNoChange);
    EXPECT_EQ(machine.fake.registry.dword(kStateKey, L"UpdateAttempts"), 0u);
}

TEST(InstallService, FailsWhenTheServiceCannotBeMadeAndStillResetsTheState) {
    Machine machine;
    machine.scm().faults.failNext("scm.createService", 1072);
    EXPECT_FALSE(installService(machine.fake.platform(), kInfo));
    EXPECT_EQ(machine.registrationEntries(), std::vector<std::wstring>{L"[error] 1220 1072"});
    EXPECT_EQ(machine.fake.registry.dword(kStateKey, L"CheckFrequency"), 1u);
}

TEST(CreateDefaultTask, StopsTheResetAtTheFirstFailedWrite) {
    Machine machine;
    machine.fake.registry.putDword(kStateKey, L"CheckFrequency", 3);
    machine.fake.registry.faults.failNext("setValue", 5, 1);  // LastUpdateCheck
    createDefaultTask(machine.fake.platform(), kInfo);
    EXPECT_EQ(machine.fake.registry.dword(kStateKey, L"UpdateAttempts"), 0u);
    EXPECT_FALSE(machine.fake.registry.hasValue(kStateKey, L"LastUpdateCheck"));
    EXPECT_EQ(machine.fake.registry.dword(kStateKey, L"CheckFrequency"), 3u);
    EXPECT_TRUE(machine.registrationEntries().empty());
}

TEST(UninstallService, ResetsTheStateAndLogsNothingWithoutTheService) {
    Machine machine;
    machine.fake.registry.putDword(kStateKey, L"UpdateAttempts", 2);
    machine.fake.registry.putQword(kStateKey, L"LastUpdateCheck", 9);
    machine.fake.registry.putDword(kStateKey, L"CheckFrequency", 2);
    uninstallService(machine.fake.platform(), kInfo);
    EXPECT_FALSE(machine.fake.registry.hasKey(kStateKey));
    EXPECT_TRUE(machine.registrationEntries().empty());
    EXPECT_TRUE(machine.scm().controls.empty());
    EXPECT_TRUE(machine.scm().deletions.empty());
}

TEST(UninstallService, StopsAndDeletesTheServiceWhateverTheStop) {
    struct Case {
        std::uint32_t state;
        std::vector<std::wstring> entries;
        bool gone;  // removed at once: stopped, no handle left open
    };
    const Case cases[] = {
        {kServiceRunning, {L"[info] 1605", L"[info] 1606"}, false},
        {kServiceStopped, {L"[error] 1226 1062", L"[info] 1606"}, true},
    };
    for (const Case& c : cases) {
        Machine machine;
        machine.scm().addService(kServiceName, c.state);
        uninstallService(machine.fake.platform(), kInfo);
        EXPECT_EQ(machine.registrationEntries(), c.entries);
        EXPECT_EQ(machine.service() == nullptr, c.gone);
        EXPECT_EQ(machine.scm().openHandles, 0);
    }
    // The deletion's failure is the action's.
    Machine machine;
    machine.scm().addService(kServiceName, kServiceRunning);
    machine.scm().faults.failNext("scm.deleteService", 5);
    EXPECT_FALSE(uninstallService(machine.fake.platform(), kInfo));
    EXPECT_EQ(machine.registrationEntries(),
              (std::vector<std::wstring>{L"[info] 1605", L"[error] 1229 5"}));
}

}  // namespace
}  // namespace korin
