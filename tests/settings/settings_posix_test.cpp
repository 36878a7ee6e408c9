// The settings subsystem over the stand-in machine's adapters: enumeration,
// special folders, and files and registry values written by several
// processes at once.

#include "fixtures/temporary_machine_posix.h"
#include "platform/last_error.h"
#include "platform/platform.h"
#include "platform/standin/machine_setup.h"
#include "platform/error_codes.h"
#include "settings/settings_file.h"
#include "settings/windows_file_manager.h"
#include "ground/text.h"
#include "update/update_state.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace korin {
namespace {

namespace fs = std::filesystem;

class StandinSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(machine_.create("settings", error)) << error;
        root_ = machine_.root();
        machine_.enter("Windows/System32");
        clearSettingsFilePathCache();
        VOZA::WindowsFileManager::clearFolderCaches();
    }
    void TearDown() override {
        clearSettingsFilePathCache();
        VOZA::WindowsFileManager::clearFolderCaches();
    }
    // The machine's stand-in bundle, as each of its programs composes it.
    std::unique_ptr<StandInPlatform> bundle() const {
        std::string error;
        auto opened = machine_.openPlatform(error);
        EXPECT_TRUE(opened) << error;
        return opened;
    }
    std::string host(const std::string& relative) const { return root_ + "/drive_c/" + relative; }
    static void write(const std::string& path, const std::string& content) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }
    std::string root_;
    korin::testing::TemporaryMachine machine_;
};

TEST_F(StandinSettingsTest, ShellKnowsTheAdministratorsFoldersAndDeletesTrees) {
    const auto p = bundle();
    ASSERT_TRUE(p);
    std::wstring path;
    EXPECT_EQ(p->platform().shell->getFolderPath(kCsidlAppData, path), kSOk);
    EXPECT_EQ(path, L"C:\\Users\\Administrator\\AppData\\Roaming");
    EXPECT_EQ(p->platform().shell->getFolderPath(kCsidlLocalAppData, path), kSOk);
    EXPECT_EQ(path, L"C:\\Users\\Administrator\\AppData\\Local");
    EXPECT_EQ(p->platform().shell->getFolderPath(0x4242, path), kEInvalidArg);
    fs::remove_all(host("Users/Administrator/AppData/Roaming"));
    EXPECT_EQ(p->platform().shell->getFolderPath(kCsidlAppData, path), kEFail);
    EXPECT_EQ(p->platform().shell->getFolderPath(kCsidlAppData | kCsidlFlagCreate, path), kSOk);
    EXPECT_TRUE(fs::is_directory(host("Users/Administrator/AppData/Roaming")));

    write(host("Tree/a/b/c.txt"), "x");
    EXPECT_EQ(p->platform().shell->deletePath(L"C:\\Tree"), 0);
    EXPECT_FALSE(fs::exists(host("Tree")));
    EXPECT_EQ(p->platform().shell->deletePath(L"C:\\Tree"), static_cast<int>(kErrorFileNotFound));
    // A missing folder above the path is the shell's own "invalid files".
    EXPECT_EQ(p->platform().shell->deletePath(L"C:\\Tree\\a\\b"), kDeInvalidFiles);
    EXPECT_EQ(p->platform().shell->deletePath(L"C:\\Windows\\win.ini\\x"), kDeInvalidFiles);
    EXPECT_NE(p->platform().shell->deletePath(L""), 0);
    EXPECT_TRUE(fs::exists(host("Windows")));
}

TEST_F(StandinSettingsTest, FileManagerWorksOnTheMachine) {
    const auto p = bundle();
    ASSERT_TRUE(p);
    VOZA::WindowsFileManager manager(p->platform());
    EXPECT_EQ(manager.playerDataFolder(),
              "C:\\Users\\Administrator\\AppData\\Roaming\\Tervalonix\\Korin Player");
    auto root = manager.listFolder("C:\\");
    ASSERT_NE(root, nullptr);
    std::set<std::string> names;
    for (std::size_t i = 0; i < root->size(); ++i) {
        names.insert(root->at(i));
    }
    EXPECT_EQ(names, (std::set<std::string>{"Program Files", "Program Files (x86)", "ProgramData",
                                            "Users", "Windows"}));
    EXPECT_TRUE(manager.createFolder("C:\\ProgramData\\Vemra\\Korin", "Cache"));
    EXPECT_TRUE(fs::is_directory(host("ProgramData/Vemra/Korin/Cache")));
    write(host("ProgramData/Vemra/Korin/Cache/f.bin"), std::string(1000, 'f'));
    EXPECT_EQ(manager.pathSize("C:\\ProgramData\\Vemra"), 1000u);
    EXPECT_TRUE(manager.deleteFilesByAge("C:\\ProgramData\\Vemra", 0, 1000000));
    EXPECT_FALSE(fs::exists(host("ProgramData/Vemra")));
    EXPECT_TRUE(manager.deletePath("C:\\ProgramData\\Vemra"));
}

TEST_F(StandinSettingsTest, AttributesAreTheLinksOwnAsWindowsReportsThem) {
    const auto p = bundle();
    ASSERT_TRUE(p);
    write(host("Data/file.txt"), "12345");
    fs::create_directory_symlink(host("Windows"), host("Data/FolderLink"));
    fs::create_symlink(host("Data/file.txt"), host("Data/FileLink"));
    fs::create_symlink(host("Data/gone"), host("Data/Dangling"));
    struct Case {
        const wchar_t* path;
        std::uint32_t attributes;
    };
    const Case cases[] = {
        {L"C:\\Data", kFileAttributeDirectory},
        {L"C:\\Data\\file.txt", kFileAttributeNormal},
        {L"C:\\Data\\FolderLink", kFileAttributeDirectory | kFileAttributeReparsePoint},
        {L"C:\\Data\\FileLink", kFileAttributeReparsePoint},
        {L"C:\\Data\\Dangling", kFileAttributeReparsePoint},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(p->platform().files->getFileAttributes(c.path), c.attributes)
            << utf8FromWide(c.path);
        FindData data;
        ASSERT_TRUE(p->platform().files->findFirstFile(c.path, data));
        EXPECT_EQ(data.attributes, c.attributes) << utf8FromWide(c.path);
    }
}

TEST_F(StandinSettingsTest, AgeDeletionAndSizesNeverFollowFolderLinks) {
    const auto p = bundle();
    ASSERT_TRUE(p);
    // Outside the tree, reached only through a link inside it.
    write(host("Outside/kept.bin"), std::string(700, 'o'));
    write(host("Outside/Deeper/kept.bin"), std::string(70, 'o'));
    write(host("Cache/old.bin"), std::string(10, 'c'));
    fs::create_directories(host("Cache/Sub"));
    fs::create_directory_symlink(host("Outside"), host("Cache/Link"));
    fs::create_directory_symlink(host("Outside"), host("Cache/Sub/Link"));
    VOZA::WindowsFileManager manager(p->platform());

    EXPECT_EQ(manager.pathSize("C:\\Cache"), 10u);
    EXPECT_EQ(manager.pathSize("C:\\Cache\\Link"), 0u);
    EXPECT_EQ(manager.pathSize("C:\\Outside"), 770u);

    EXPECT_TRUE(manager.deleteFilesByAge("C:\\Cache", 0, 1000000));
    EXPECT_FALSE(fs::exists(host("Cache/old.bin")));
    EXPECT_TRUE(fs::is_symlink(host("Cache/Link")));
    EXPECT_TRUE(fs::is_symlink(host("Cache/Sub/Link")));
    EXPECT_EQ(read(host("Outside/kept.bin")), std::string(700, 'o'));
    EXPECT_EQ(read(host("Outside/Deeper/kept.bin")), std::string(70, 'o'));
}

TEST_F(StandinSettingsTest, ExplorersShellFoldersAreInTheRegistry) {
    const auto p = bundle();
    ASSERT_TRUE(p);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(p->platform().registry->openKey(
                  RegistryRoot::CurrentUser,
                  L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                  L"Folders",
                  kKeyRead, key),
              0);
    for (const auto& [name, folder] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"AppData", L"C:\\Users\\Administrator\\AppData\\Roaming"},
             {L"Local AppData", L"C:\\Users\\Administrator\\AppData\\Local"}}) {
        char data[600] = {};
        std::uint32_t size = sizeof data;
        ASSERT_EQ(key->queryValue(name, nullptr, data, &size), 0);
        EXPECT_EQ(standin::regSzText(std::string(data, size)), folder);
    }
}

TEST_F(StandinSettingsTest, TheSettingsFileIsFoundThroughSysWow64) {
    const auto p = bundle();
    ASSERT_TRUE(p);
    EXPECT_EQ(settingsFilePath(p->platform()), "C:\\Windows\\SysWOW64\\Tervalon\\Korin\\zvs.cfg");
    write(host("Windows/SysWOW64/Tervalon/Korin/zvs.cfg"), "A=1\n");
    SettingsFile file(p->platform(), settingsFilePath(p->platform()));
    EXPECT_EQ(file.get("A"), "1");
    file.set("B", "2");
    EXPECT_TRUE(file.save());
    EXPECT_EQ(read(host("Windows/SysWOW64/Tervalon/Korin/zvs.cfg")), "A=1\r\nB=2\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(host("Windows/SysWOW64/Tervalon/Korin")),
                            fs::directory_iterator()),
              1);
}

// Every settings file seen while two processes keep saving is one writer's
// whole content: each writer's keys all present, all of one generation.
TEST_F(StandinSettingsTest, ConcurrentSavesNeverTearTheFile) {
    constexpr int kSaves = 60;
    constexpr int kKeys = 400;
    const std::string file = host("Windows/SysWOW64/Tervalon/Korin/zvs.cfg");
    write(file, "Start=1\r\n");
    auto writer = [this](char name) {
        const auto p = bundle();
        if (!p) {
            _exit(1);
        }
        const std::string path = "C:\\Windows\\SysWOW64\\Tervalon\\Korin\\zvs.cfg";
        for (int generation = 0; generation < kSaves; ++generation) {
            SettingsFile settings(p->platform(), path);
            for (int key = 0; key < kKeys; ++key) {
                settings.set(std::string(1, name) + std::to_string(key),
                             std::to_string(generation) + std::string(40, name));
            }
            if (!settings.save()) {
                _exit(1);
            }
        }
        _exit(0);
    };
    std::vector<pid_t> children;
    for (char name : {'a', 'b'}) {
        const pid_t pid = fork();
        if (pid == 0) {
            writer(name);
        }
        children.push_back(pid);
    }
    int checked = 0;
    for (bool running = true; running;) {
        running = false;
        for (pid_t pid : children) {
            running = running || waitpid(pid, nullptr, WNOHANG) == 0;
        }
        const std::string content = read(file);
        ASSERT_FALSE(content.empty());
        ASSERT_EQ(content.substr(content.size() - 2), "\r\n");
        std::map<char, std::set<std::string>> generations;
        std::map<char, int> counts;
        std::istringstream lines(content);
        for (std::string line; std::getline(lines, line);) {
            ASSERT_EQ(line.back(), '\r');
            if (line[0] == 'a' || line[0] == 'b') {
                generations[line[0]].insert(line.substr(line.find('=') + 1));
                ++counts[line[0]];
            }
        }
        for (const auto& [name, count] : counts) {
            EXPECT_EQ(count, kKeys) << name;
            EXPECT_EQ(generations[name].size(), 1u) << name;
        }
        ++checked;
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_GT(checked, 1);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(file).parent_path()),
                            fs::directory_iterator()),
              1);
}

TEST_F(StandinSettingsTest, ConcurrentStateWritersLeaveWholeValues) {
    constexpr int kWrites = 150;
    auto writer = [this](std::uint32_t base) {
        const auto p = bundle();
        if (!p) {
            _exit(1);
        }
        for (std::uint32_t i = 0; i < kWrites; ++i) {
            const std::uint32_t days = 1 + i % 3;
            if (!writeUpdateAttempts(p->platform(), base + i) ||
                !writeCheckFrequency(p->platform(), &days) ||
                !writeLastUpdateCheck(p->platform(), false)) {
                _exit(1);
            }
        }
        _exit(0);
    };
    std::vector<pid_t> children;
    for (std::uint32_t base : {0x10000u, 0x20000u}) {
        const pid_t pid = fork();
        if (pid == 0) {
            writer(base);
        }
        children.push_back(pid);
    }
    const auto p = bundle();
    ASSERT_TRUE(p);
    int reads = 0;
    for (bool running = true; running;) {
        running = false;
        for (pid_t pid : children) {
            running = running || waitpid(pid, nullptr, WNOHANG) == 0;
        }
        std::uint32_t attempts = 0;
        if (readUpdateAttempts(p->platform(), attempts)) {
            const std::uint32_t offset = attempts & 0xFFFF;
            EXPECT_TRUE((attempts >> 16 == 1 || attempts >> 16 == 2) && offset < kWrites)
                << attempts;
            ++reads;
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::uint32_t last = 0;
    ASSERT_TRUE(readUpdateAttempts(p->platform(), last));
    EXPECT_TRUE(last == 0x10000u + kWrites - 1 || last == 0x20000u + kWrites - 1) << last;
    EXPECT_GT(reads, 0);
    // The values stand in the 32-bit view, where the 32-bit program finds them.
    std::string error;
    const auto db = standin::RegistryDb::open(root_ + "/registry.db", error);
    ASSERT_TRUE(db) << error;
    EXPECT_TRUE(db->keyExists(L"HKLM\\SOFTWARE\\Wow6432Node\\Tervalonix\\KorinPlayerSAU"));
    EXPECT_FALSE(db->keyExists(L"HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerSAU"));
}

}  // namespace
}  // namespace korin
