#include "fixtures/temporary_machine_posix.h"
#include "platform/clock_posix.h"
#include "platform/files_posix.h"
#include "platform/runtime_library_posix.h"
#include "platform/standin/machine_sources.h"
#include "platform/standin/seeded_random.h"
#include "platform/registry_posix.h"
#include "platform/system_info_posix.h"
#include "platform/standin/host_errors.h"
#include "platform/last_error.h"
#include "platform/standin/machine_setup.h"
#include "platform/error_codes.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

namespace korin::standin {
namespace {

namespace fs = std::filesystem;

// A fresh machine in a temporary folder, with the working folder inside it.
class MachineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(machine_.create("machine", error)) << error;
        root_ = machine_.root();
        machine_.enter("Windows/System32");
    }
    korin::testing::TemporaryMachine machine_;
    std::string root_;
};

TEST_F(MachineTest, FullPathResolvesRelativeAndDottedPaths) {
    Machine machine(root_);
    struct Case {
        const wchar_t* path;
        const wchar_t* full;
    };
    const Case cases[] = {
        {L"Tervalon\\Korin\\KorinInstall32.log",
         L"C:\\Windows\\System32\\Tervalon\\Korin\\KorinInstall32.log"},
        {L"..\\Temp\\a.txt", L"C:\\Windows\\Temp\\a.txt"},
        {L".\\x", L"C:\\Windows\\System32\\x"},
        {L"C:/Windows//Tasks/", L"C:\\Windows\\Tasks\\"},
        {L"c:\\a\\..\\..\\b", L"C:\\b"},
        {L"\\Users", L"C:\\Users"},
        {L"D:", L"D:\\"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(machine.fullPath(c.path), c.full);
    }
}

TEST_F(MachineTest, HostPathsMapDrivesRedirectSystem32AndIgnoreCase) {
    Machine machine(root_);
    struct Case {
        const wchar_t* path;
        bool redirect;
        std::string host;  // below the root unless absolute
    };
    const Case cases[] = {
        {L"C:\\Windows\\System32\\x.cfg", true, "/drive_c/Windows/SysWOW64/x.cfg"},
        {L"C:\\Windows\\System32\\x.cfg", false, "/drive_c/Windows/System32/x.cfg"},
        {L"c:\\windows\\system32\\drivers\\etc\\hosts", true,
         "/drive_c/Windows/System32/drivers/etc/hosts"},
        {L"C:\\WINDOWS\\SYSWOW64\\New", true, "/drive_c/Windows/SysWOW64/New"},
        {L"C:\\Windows\\System32x\\a", true, "/drive_c/Windows/System32x/a"},
        {L"C:\\windows\\temp", true, "/drive_c/Windows/Temp"},
        {L"Z:\\tmp", true, "!/tmp"},
    };
    for (const Case& c : cases) {
        const std::string expected = c.host[0] == '!' ? c.host.substr(1) : root_ + c.host;
        EXPECT_EQ(machine.hostPath(c.path, c.redirect), expected);
    }
    EXPECT_EQ(machine.windowsPath(root_ + "/drive_c/Windows"), L"C:\\Windows");
    EXPECT_EQ(machine.windowsPath("/usr/bin/env"), L"Z:\\usr\\bin\\env");
    EXPECT_EQ(machine.currentDirectory(), L"C:\\Windows\\System32");
}

TEST(CanonicalKeyPath, Applies32BitViewToLocalMachineSoftwareOnly) {
    struct Case {
        bool localMachine;
        const wchar_t* subKey;
        bool view32;
        const wchar_t* path;
    };
    const Case cases[] = {
        {true, L"SOFTWARE\\Tervalonix\\KorinPlayerSAU", true,
         L"HKLM\\SOFTWARE\\Wow6432Node\\Tervalonix\\KorinPlayerSAU"},
        {true, L"SOFTWARE\\Tervalonix\\KorinPlayerSAU", false,
         L"HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerSAU"},
        {true, L"Software\\Wow6432Node\\X", true, L"HKLM\\Software\\Wow6432Node\\X"},
        {true, L"SYSTEM\\CurrentControlSet", true, L"HKLM\\SYSTEM\\CurrentControlSet"},
        {false, L"Software\\X\\", true, L"HKCU\\Software\\X"},
        {true, L"", true, L"HKLM"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(canonicalKeyPath(c.localMachine, c.subKey, c.view32), c.path);
    }
}

TEST_F(MachineTest, RegistryBehavesLikeTheRegFunctions) {
    std::string error;
    auto db = RegistryDb::open(root_ + "/registry.db", error);
    ASSERT_TRUE(db) << error;
    StandInRegistry registry(*db, standin::ProgramView(Machine(root_), true));

    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(registry.openKey(RegistryRoot::LocalMachine, L"SOFTWARE\\Tervalonix", kKeyRead, key),
              2);
    ASSERT_EQ(registry.createKey(RegistryRoot::LocalMachine,
                                 L"SOFTWARE\\Tervalonix\\KorinPlayerSAU", kKeySetValue, key),
              0);
    const std::uint32_t three = 3;
    EXPECT_EQ(key->setValue(L"CheckFrequency", kRegDword, &three, 4), 0);
    EXPECT_EQ(key->queryValue(L"CheckFrequency", nullptr, nullptr, nullptr), 5);  // no read access
    // A 32-bit program lands in Wow6432Node; the 64-bit view does not see it.
    EXPECT_TRUE(db->keyExists(L"HKLM\\SOFTWARE\\Wow6432Node\\Tervalonix\\KorinPlayerSAU"));
    EXPECT_EQ(registry.openKey(RegistryRoot::LocalMachine, L"SOFTWARE\\Tervalonix",
                               kKeyRead | kKeyWow64_64Key, key),
              2);

    ASSERT_EQ(registry.openKey(RegistryRoot::LocalMachine, L"software\\TERVALONIX\\korinplayersau",
                               kKeyRead, key),
              0);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(key->queryValue(L"checkfrequency", &type, nullptr, &size), 0);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(size, 4u);
    std::uint16_t small = 0;
    size = 2;
    EXPECT_EQ(key->queryValue(L"CheckFrequency", nullptr, &small, &size), 234);
    EXPECT_EQ(size, 4u);
    std::uint32_t value = 0;
    size = 4;
    EXPECT_EQ(key->queryValue(L"CheckFrequency", nullptr, &value, &size), 0);
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(key->queryValue(L"Missing", nullptr, &value, &size), 2);
    EXPECT_EQ(key->setValue(L"X", kRegDword, &three, 4), 5);  // opened for reading only

    std::unique_ptr<RegistryKey> parent;
    ASSERT_EQ(registry.openKey(RegistryRoot::LocalMachine, L"SOFTWARE", kKeySetValue, parent), 0);
    EXPECT_EQ(parent->deleteSubKey(L"Tervalonix"), 5);  // has a subkey
    ASSERT_EQ(
        registry.openKey(RegistryRoot::LocalMachine, L"SOFTWARE\\Tervalonix", kKeySetValue, parent),
        0);
    EXPECT_EQ(parent->deleteSubKey(L"KorinPlayerSAU"), 0);
    EXPECT_EQ(parent->deleteSubKey(L"KorinPlayerSAU"), 2);
    // A handle to a deleted key can no longer set values.
    std::unique_ptr<RegistryKey> gone;
    ASSERT_EQ(registry.createKey(RegistryRoot::LocalMachine, L"SOFTWARE\\Tervalonix\\Gone",
                                 kKeySetValue, gone),
              0);
    EXPECT_EQ(parent->deleteSubKey(L"Gone"), 0);
    EXPECT_EQ(gone->setValue(L"X", kRegDword, &three, 4), 1018);
}

TEST_F(MachineTest, ThirtyTwoBitMachineHasOneView) {
    std::string error;
    auto db = RegistryDb::open(root_ + "/registry.db", error);
    ASSERT_TRUE(db);
    MachineFacts facts;
    facts.is64Bit = false;
    facts.majorVersion = 6;
    facts.minorVersion = 1;
    ASSERT_TRUE(writeMachineFacts(*db, facts));
    const MachineFacts read = readMachineFacts(*db);
    EXPECT_FALSE(read.is64Bit);
    EXPECT_EQ(read.majorVersion, 6u);
    EXPECT_EQ(read.minorVersion, 1u);

    StandInRegistry registry(*db, standin::ProgramView(Machine(root_), read.is64Bit));
    EXPECT_EQ(registry.keyPath(RegistryRoot::LocalMachine, L"SOFTWARE\\X", kKeyRead),
              L"HKLM\\SOFTWARE\\X");
    StandInSystemInfo system(read);
    std::wstring folder;
    setLastError(0);
    EXPECT_FALSE(system.getSystemWow64Directory(folder));
    EXPECT_EQ(lastError(), kErrorCallNotImplemented);
    EXPECT_EQ(system.isWow64Process(), 0);
    OsVersionInfo version;
    ASSERT_TRUE(system.getVersionEx(version));
    EXPECT_EQ(version.platformId, 2u);
    EXPECT_EQ(version.majorVersion, 6u);
}

TEST_F(MachineTest, TwoProcessesWritingOneKeyBothLand) {
    constexpr int kWrites = 150;
    auto writer = [this](const wchar_t* name) {
        std::string error;
        auto db = RegistryDb::open(root_ + "/registry.db", error);
        if (!db || db->createKey(L"HKLM\\SOFTWARE\\Shared") != 0) {
            _exit(1);
        }
        for (int i = 0; i < kWrites; ++i) {
            const std::string data(4000 + static_cast<std::size_t>(i),
                                   static_cast<char>('a' + i % 26));
            if (db->setValue(L"HKLM\\SOFTWARE\\Shared", name + std::to_wstring(i), kRegBinary,
                             data) != 0) {
                _exit(2);
            }
        }
        _exit(0);
    };
    pid_t first = fork();
    if (first == 0) {
        writer(L"first");
    }
    pid_t second = fork();
    if (second == 0) {
        writer(L"second");
    }
    int status = 0;
    ASSERT_EQ(waitpid(first, &status, 0), first);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(waitpid(second, &status, 0), second);
    EXPECT_EQ(status, 0);

    std::string error;
    auto db = RegistryDb::open(root_ + "/registry.db", error);
    ASSERT_TRUE(db);
    const auto values = db->values(L"HKLM\\SOFTWARE\\Shared");
    ASSERT_EQ(values.size(), 2u * kWrites);
    for (const RegistryValue& value : values) {
        const int i = std::stoi(value.name.substr(value.name[0] == L'f' ? 5 : 6));
        EXPECT_EQ(value.data,
                  std::string(4000 + static_cast<std::size_t>(i), static_cast<char>('a' + i % 26)));
    }
}

TEST_F(MachineTest, FilesOpenWithWindowsErrorCodes) {
    Machine machine(root_);
    StandInFiles files(standin::ProgramView(machine, true));
    auto file = files.openFile(L"C:\\Windows\\System32\\zvs.cfg", FileOpenMode::CreateAlways);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write("abc", 3));
    file.reset();
    // The 32-bit view of System32 is SysWOW64.
    EXPECT_TRUE(fs::exists(root_ + "/drive_c/Windows/SysWOW64/zvs.cfg"));

    auto appended = files.openFile(L"..\\SysWOW64\\ZVS.CFG", FileOpenMode::AppendAlways);
    ASSERT_TRUE(appended);
    ASSERT_TRUE(appended->write("de", 2));
    appended.reset();
    auto reader = files.openFile(L"C:\\Windows\\SysWOW64\\zvs.cfg", FileOpenMode::ReadExisting);
    ASSERT_TRUE(reader);
    char buffer[16] = {};
    std::uint32_t got = 0;
    ASSERT_TRUE(reader->read(buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), "abcde");
    ASSERT_TRUE(reader->read(buffer, sizeof buffer, got));
    EXPECT_EQ(got, 0u);

    struct Case {
        const wchar_t* path;
        FileOpenMode mode;
        std::uint32_t error;
    };
    const Case cases[] = {
        {L"C:\\Windows\\missing.txt", FileOpenMode::ReadExisting, kErrorFileNotFound},
        {L"C:\\Nowhere\\missing.txt", FileOpenMode::ReadExisting, kErrorPathNotFound},
        {L"C:\\Nowhere\\new.txt", FileOpenMode::AppendAlways, kErrorPathNotFound},
        {L"C:\\Windows", FileOpenMode::ReadExisting, kErrorAccessDenied},
    };
    for (const Case& c : cases) {
        setLastError(0);
        EXPECT_FALSE(files.openFile(c.path, c.mode));
        EXPECT_EQ(lastError(), c.error);
    }
    EXPECT_EQ(files.getFileAttributes(L"C:\\Windows"), kFileAttributeDirectory);
    EXPECT_EQ(files.getFileAttributes(L"C:\\Windows\\none"), kInvalidFileAttributes);
    EXPECT_EQ(lastError(), kErrorFileNotFound);
    EXPECT_TRUE(files.createDirectory(L"C:\\Windows\\Temp\\New"));
    EXPECT_FALSE(files.createDirectory(L"C:\\Windows\\Temp\\New"));
    EXPECT_EQ(lastError(), kErrorAlreadyExists);
    EXPECT_TRUE(files.moveFileReplacing(L"C:\\Windows\\SysWOW64\\zvs.cfg",
                                        L"C:\\Windows\\Temp\\New\\moved.cfg"));
    EXPECT_TRUE(files.deleteFile(L"C:\\Windows\\Temp\\New\\moved.cfg"));
    EXPECT_TRUE(files.removeDirectory(L"C:\\Windows\\Temp\\New"));
}

TEST_F(MachineTest, ErrnoBecomesTheWin32CodeWindowsGives) {
    const std::string existing = root_ + "/drive_c/Windows/none.txt";
    const std::string orphan = root_ + "/drive_c/Nowhere/none.txt";
    struct Case {
        int error;
        std::string path;
        std::uint32_t code;
    };
    const Case cases[] = {
        {EACCES, existing, kErrorAccessDenied},
        {EPERM, existing, kErrorAccessDenied},
        {EROFS, existing, kErrorAccessDenied},
        {EISDIR, existing, kErrorAccessDenied},
        {ENOENT, existing, kErrorFileNotFound},
        {ENOENT, orphan, kErrorPathNotFound},
        {ENOENT, "", kErrorFileNotFound},
        {ENOTDIR, existing, kErrorPathNotFound},
        {EEXIST, existing, kErrorAlreadyExists},
        {ENOTEMPTY, existing, kErrorDirNotEmpty},
        {ENOSPC, existing, kErrorDiskFull},
        {ENOMEM, existing, kErrorNotEnoughMemory},
        {ENAMETOOLONG, existing, kErrorFilenameExcedRange},
        {EBADF, existing, kErrorInvalidHandle},
        {EINVAL, existing, kErrorInvalidParameter},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(standin::win32ErrorFromErrno(c.error, c.path), c.code)
            << c.error << " " << c.path;
    }
}

TEST_F(MachineTest, ModuleFileNameIsTheRunningExecutableOnTheMachine) {
    Machine machine(root_);
    StandInFiles files(standin::ProgramView(machine, true));
    std::wstring path;
    ASSERT_TRUE(files.getModuleFileName(path));
    EXPECT_EQ(path, machine.windowsPath(fs::read_symlink("/proc/self/exe").string()));
    EXPECT_EQ(path.substr(0, 3), L"Z:\\");
    EXPECT_NE(files.getFileAttributes(path), kInvalidFileAttributes);
}

TEST(ClockTime, UtcTextsBecomeFileTimesAndBack) {
    const std::optional<std::uint64_t> none;
    // clang-format off
    const struct { const char* text; std::optional<std::uint64_t> fileTime; const char* shown; } cases[] = {
        {"1601-01-01T00:00Z",             0ULL,                  "1601-01-01T00:00:00Z"},
        {"1970-01-01T00:00:00Z",          116444736000000000ULL, "1970-01-01T00:00:00Z"},
        {"2026-03-02T08:17:05.25Z",       134169130252500000ULL, "2026-03-02T08:17:05.2500000Z"},
        {"2024-02-29T23:59:59.0000001Z",  133537247990000001ULL, "2024-02-29T23:59:59.0000001Z"},
        {"2026-02-29T00:00Z",             none, ""},  // no such day
        {"2026-03-02T24:00Z",             none, ""},
        {"2026-03-02T08:17",              none, ""},
        {"2026-03-02 08:17Z",             none, ""},
        {"2026-03-02T08:17:5Z",           none, ""},
        {"2026-03-02T08:17:05.Z",         none, ""},
        {"2026-03-02T08:17:05.12345678Z", none, ""},
        {"1600-12-31T23:59Z",             none, ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(parseClockTime(c.text), c.fileTime) << c.text;
        if (c.fileTime) {
            EXPECT_EQ(formatClockTime(*c.fileTime), c.shown) << c.text;
        }
    }
}

// A set clock also stamps what is written, as Windows stamps from its clock.
TEST_F(MachineTest, ASetClockStandsStillWhileTheTickCountRuns) {
    Machine machine(root_);
    StandInClock clock(machine);
    StandInFiles files(standin::ProgramView(machine, true));
    const auto writtenAt = [&files] {
        auto file = files.openFile(L"C:\\Windows\\System32\\stamped", FileOpenMode::CreateAlways);
        EXPECT_TRUE(file && file->write("x", 1) && file->close());
        FindData data;
        EXPECT_TRUE(files.findFirstFile(L"C:\\Windows\\System32\\stamped", data));
        return data.lastWriteTime;
    };
    const std::uint64_t set = *parseClockTime("2031-05-06T07:08:09.123Z");
    ASSERT_TRUE(setClock(machine, set));
    EXPECT_EQ(writtenAt(), set);
    const std::uint32_t ticks = clock.tickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(clock.systemTimeAsFileTime(), set);
    EXPECT_GE(clock.tickCount() - ticks, 30U);
    const SystemTime time = clock.systemTime();
    EXPECT_EQ(std::vector<int>({time.year, time.month, time.dayOfWeek, time.day, time.hour,
                                time.minute, time.second, time.milliseconds}),
              std::vector<int>({2031, 5, 2, 6, 7, 8, 9, 123}));

    ASSERT_TRUE(resetClock(machine));
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const std::uint64_t real =
        116444736000000000ULL +
        std::chrono::duration_cast<std::chrono::microseconds>(now).count() * 10;
    EXPECT_NEAR(static_cast<double>(clock.systemTimeAsFileTime()), static_cast<double>(real), 1e7);
    EXPECT_NEAR(static_cast<double>(writtenAt()), static_cast<double>(real), 1e8);
}

// Two programs drawing at once take each value of the seeded sequence
// exactly once; a state that cannot be read fails the draw as rand_s fails.
TEST_F(MachineTest, SeededDrawsContinueTheSequenceAcrossProgramsRunningAtOnce) {
    Machine machine(root_);
    StandInSecureRandom random(machine);
    std::uint32_t value = 0;
    ASSERT_TRUE(random.draw(value));
    EXPECT_FALSE(randomState(machine));

    constexpr int kDraws = 2000;
    ASSERT_TRUE(seedRandom(machine, 20260302));
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        const pid_t pid = fork();
        if (pid == 0) {
            std::ofstream out(root_ + "/draws" + std::to_string(child));
            for (int i = 0; i < kDraws; ++i) {
                if (!random.draw(value)) {
                    _exit(1);
                }
                out << value << "\n";
            }
            out.close();  // _exit flushes nothing
            _exit(out ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_EQ(status, 0);
    }
    std::multiset<std::uint32_t> drawn;
    for (int child = 0; child < 2; ++child) {
        std::ifstream in(root_ + "/draws" + std::to_string(child));
        while (in >> value) {
            drawn.insert(value);
        }
    }
    SeededRandom reference(20260302);
    std::multiset<std::uint32_t> expected;
    for (int i = 0; i < 2 * kDraws; ++i) {
        expected.insert(reference.next());
    }
    EXPECT_EQ(drawn, expected);
    EXPECT_EQ(randomState(machine), reference.state());

    std::ofstream(root_ + "/random-state") << "torn";
    EXPECT_FALSE(random.draw(value));
}

}  // namespace
}  // namespace korin::standin
