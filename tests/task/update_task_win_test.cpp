// The hourly task through the real Task Scheduler (run under Wine).

#include "task/update_task.h"

#include "fakes/fake_platform.h"
#include "platform/real_files.h"
#include "platform/unique_handle_win.h"
#include "service/win_platform_win.h"
#include "support/log.h"
#include "task/task_scheduler_win.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace korin {
namespace {

// One procedure against the real scheduler, in a working folder of its own
// with verbose logging on; the entries it logged.
class WinUpdateTask : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(folder_.path() / "Tervalon" / "Korin");
        logOptions().verbose = true;
        deleteUpdateTask(platform());  // whatever an earlier run left
    }
    void TearDown() override {
        deleteUpdateTask(platform());
        logOptions() = LogOptions{};
    }
    const Platform& platform() const { return bundle_.platform(); }
    std::vector<std::wstring> entries() const {
        return testing::logEntriesOf(
            testing::readFileBytes(folder_.path() / "Tervalon" / "Korin" / "KorinInstall32.log"));
    }
    // GetTask's answer for the update task, through the adapter.
    HResult lookUp() {
        ComInitScope com(COINIT_MULTITHREADED);
        std::unique_ptr<TaskService> service;
        std::unique_ptr<TaskFolder> folder;
        std::unique_ptr<RegisteredTask> task;
        WinTaskScheduling scheduling;
        HResult result = scheduling.createTaskService(service);
        if (succeeded(result)) {
            result = service->connect();
        }
        if (succeeded(result)) {
            result = service->getFolder(L"\\", folder);
        }
        return succeeded(result) ? folder->getTask(kUpdateTaskName, task) : result;
    }
    // Registers a task of that name as someone else would: another program,
    // another account.
    HResult plantForeignTask() {
        ComInitScope com(COINIT_MULTITHREADED);
        std::unique_ptr<TaskService> service;
        std::unique_ptr<TaskFolder> folder;
        std::unique_ptr<TaskDefinition> definition;
        std::unique_ptr<ActionCollection> actions;
        std::unique_ptr<Action> action;
        std::unique_ptr<ExecAction> exec;
        WinTaskScheduling scheduling;
        HResult result = scheduling.createTaskService(service);
        const auto then = [&](auto call) {
            if (succeeded(result)) {
                result = call();
            }
        };
        then([&] { return service->connect(); });
        then([&] { return service->getFolder(L"\\", folder); });
        then([&] { return service->newTask(0, definition); });
        then([&] { return definition->getActions(actions); });
        then([&] { return actions->create(kTaskActionExec, action); });
        then([&] { return action->queryExecAction(exec); });
        then([&] { return exec->putPath(L"C:\\windows\\notepad.exe"); });
        if (!succeeded(result)) {
            return result;
        }
        return folder->registerTaskDefinition(kUpdateTaskName, *definition, kTaskCreateOrUpdate,
                                              L"", kTaskLogonInteractiveToken, L"");
    }

    testing::TemporaryWorkingFolder folder_;
    WinPlatform bundle_;
};

// Wine's scheduler has no trigger ids (put_Id answers E_NOTIMPL) and no
// repetition pattern (get_Repetition fails): the id is skipped and the
// repetition stops the procedure before anything is registered. COM leaves
// the last error alone, so the details are the 0 set before.
TEST_F(WinUpdateTask, CreatingOnWineStopsAtTheRepetitionItLacks) {
    SetLastError(0);
    EXPECT_FALSE(createUpdateTask(platform(), L"C:\\windows\\system32\\cmd.exe"));
    EXPECT_EQ(entries(), (std::vector<std::wstring>{L"[error] 1282 0", L"[error] 1285 0"}));
    EXPECT_EQ(lookUp(), kHResultFileNotFound);
}

// Wine cannot count a stored task's triggers either: an existing task is
// left as it was (1265), and the real delete removes it.
TEST_F(WinUpdateTask, AnExistingTaskIsLeftOnWineAndDeletedForReal) {
    ASSERT_EQ(plantForeignTask(), kSOk);
    ASSERT_EQ(lookUp(), kSOk);
    SetLastError(0);
    EXPECT_FALSE(createUpdateTask(platform(), L"C:\\windows\\system32\\cmd.exe"));
    EXPECT_EQ(entries(), std::vector<std::wstring>{L"[error] 1265 0"});
    EXPECT_EQ(lookUp(), kSOk);

    EXPECT_TRUE(deleteUpdateTask(platform()));
    EXPECT_EQ(lookUp(), kHResultFileNotFound);
    EXPECT_FALSE(deleteUpdateTask(platform()));
    EXPECT_EQ(entries().size(), 1u);  // neither delete is logged
}

}  // namespace
}  // namespace korin
