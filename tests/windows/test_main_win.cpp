// The Windows test program's main: GoogleTest's own, but for how a failure
// is printed.
//
// GoogleTest's printers hand every failure to OutputDebugStringA as well.
// Under Wine that raises an exception, and a 32-bit process of several
// threads run by qemu's user-mode emulator does not survive its unwind (Wine
// resumes with another thread's TEB: "unexpected trap -1", then a crash that
// the caller sees as exit status 0). A failing test then ended the run
// before its summary. This printer forwards every event to GoogleTest's and
// prints a failure itself, without the debugger output.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

class FailureWithoutDebugOutput : public ::testing::TestEventListener {
  public:
    explicit FailureWithoutDebugOutput(::testing::TestEventListener* printer) : printer_(printer) {}

    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (result.type() == ::testing::TestPartResult::kSuccess) {
            return;
        }
        const char* kind =
            result.type() == ::testing::TestPartResult::kSkip ? "Skipped" : "Failure";
        if (result.file_name() != nullptr) {
            std::printf("%s:%d: %s\n%s\n", result.file_name(), result.line_number(), kind,
                        result.message());
        } else {
            std::printf("%s\n%s\n", kind, result.message());
        }
        std::fflush(stdout);
    }

    // clang-format off
    void OnTestProgramStart(const ::testing::UnitTest& u) override { printer_->OnTestProgramStart(u); }
    void OnTestIterationStart(const ::testing::UnitTest& u, int i) override { printer_->OnTestIterationStart(u, i); }
    void OnEnvironmentsSetUpStart(const ::testing::UnitTest& u) override { printer_->OnEnvironmentsSetUpStart(u); }
    void OnEnvironmentsSetUpEnd(const ::testing::UnitTest& u) override { printer_->OnEnvironmentsSetUpEnd(u); }
    void OnTestSuiteStart(const ::testing::TestSuite& s) override { printer_->OnTestSuiteStart(s); }
    void OnTestCaseStart(const ::testing::TestCase& s) override { printer_->OnTestCaseStart(s); }
    void OnTestStart(const ::testing::TestInfo& t) override { printer_->OnTestStart(t); }
    void OnTestDisabled(const ::testing::TestInfo& t) override { printer_->OnTestDisabled(t); }
    void OnTestEnd(const ::testing::TestInfo& t) override { printer_->OnTestEnd(t); }
    void OnTestSuiteEnd(const ::testing::TestSuite& s) override { printer_->OnTestSuiteEnd(s); }
    void OnTestCaseEnd(const ::testing::TestCase& s) override { printer_->OnTestCaseEnd(s); }
    void OnEnvironmentsTearDownStart(const ::testing::UnitTest& u) override { printer_->OnEnvironmentsTearDownStart(u); }
    void OnEnvironmentsTearDownEnd(const ::testing::UnitTest& u) override { printer_->OnEnvironmentsTearDownEnd(u); }
    void OnTestIterationEnd(const ::testing::UnitTest& u, int i) override { printer_->OnTestIterationEnd(u, i); }
    void OnTestProgramEnd(const ::testing::UnitTest& u) override { printer_->OnTestProgramEnd(u); }
    // clang-format on

  private:
    std::unique_ptr<::testing::TestEventListener> printer_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    ::testing::TestEventListener* printer = listeners.Release(listeners.default_result_printer());
    if (printer != nullptr) {
        listeners.Append(new FailureWithoutDebugOutput(printer));
    }
    return RUN_ALL_TESTS();
}
