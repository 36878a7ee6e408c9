#include "korin_machine/reg_command.h"

#include "fixtures/temporary_machine_posix.h"
#include "platform/standin/machine_setup.h"

#include <gtest/gtest.h>

#include <sstream>

namespace korin::standin {
namespace {

class RegCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(folder_.create("reg", error, false)) << error;
        db_ = RegistryDb::open(folder_.root() + "/registry.db", error);
        ASSERT_TRUE(db_) << error;
    }
    void TearDown() override { db_.reset(); }
    int run(const std::vector<std::string>& args) {
        out_.str("");
        err_.str("");
        return runRegCommand(*db_, true, args, out_, err_);
    }
    korin::testing::TemporaryMachine folder_;
    std::unique_ptr<RegistryDb> db_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(RegCommandTest, AddsAndQueriesEveryType) {
    const std::string key = "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerSAU";
    struct Case {
        std::vector<std::string> add;
        std::string shown;  // the query line
    };
    const Case cases[] = {
        {{"/v", "CheckFrequency", "/t", "REG_DWORD", "/d", "0x10"},
         "CheckFrequency    REG_DWORD    0x10"},
        {{"/v", "UpdateAttempts", "/t", "reg_dword", "/d", "4294967295"},
         "UpdateAttempts    REG_DWORD    0xffffffff"},
        {{"/v", "LastUpdateCheck", "/t", "REG_QWORD", "/d", "133800000000000000"},
         "LastUpdateCheck    REG_QWORD    0x1db5a641ef28000"},
        {{"/v", "Blob", "/t", "REG_BINARY", "/d", "00ff10"}, "Blob    REG_BINARY    00FF10"},
        {{"/v", "Version", "/d", "11.2.202.235"}, "Version    REG_SZ    11.2.202.235"},
        {{"/ve", "/d", "default"}, "(Default)    REG_SZ    default"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"add", key};
        args.insert(args.end(), c.add.begin(), c.add.end());
        args.push_back("/f");
        ASSERT_EQ(run(args), kExitDone) << err_.str();
        const std::vector<std::string> name = c.add[0] == "/ve"
                                                  ? std::vector<std::string>{"/ve"}
                                                  : std::vector<std::string>{"/v", c.add[1]};
        std::vector<std::string> query = {"query", key};
        query.insert(query.end(), name.begin(), name.end());
        ASSERT_EQ(run(query), kExitDone) << err_.str();
        EXPECT_NE(out_.str().find("    " + c.shown + "\n"), std::string::npos) << out_.str();
    }
    // Stored in the 64-bit view unless /reg:32 is given.
    EXPECT_TRUE(db_->keyExists(L"HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerSAU"));
    ASSERT_EQ(run({"add", key, "/v", "X", "/t", "REG_DWORD", "/d", "1", "/reg:32"}), kExitDone);
    EXPECT_TRUE(db_->keyExists(L"HKLM\\SOFTWARE\\Wow6432Node\\Tervalonix\\KorinPlayerSAU"));
}

TEST_F(RegCommandTest, DeletesValuesAndKeyTrees) {
    ASSERT_EQ(run({"add", "HKCU\\Software\\A\\B", "/v", "x", "/d", "1"}), kExitDone);
    ASSERT_EQ(run({"delete", "HKCU\\Software\\A\\B", "/v", "x", "/f"}), kExitDone);
    EXPECT_EQ(run({"query", "HKCU\\Software\\A\\B", "/v", "x"}), kExitFailed);
    EXPECT_NE(err_.str().find("unable to find"), std::string::npos);
    ASSERT_EQ(run({"delete", "HKEY_CURRENT_USER\\Software\\A", "/f"}), kExitDone);
    EXPECT_FALSE(db_->keyExists(L"HKCU\\Software\\A\\B"));
    EXPECT_FALSE(db_->keyExists(L"HKCU\\Software\\A"));
    EXPECT_EQ(run({"delete", "HKCU\\Software\\A", "/f"}), kExitFailed);
}

TEST_F(RegCommandTest, MalformedCommandsAreRefusedWithoutTouchingTheMachine) {
    const std::vector<std::vector<std::string>> malformed = {
        {},
        {"add"},
        {"frobnicate", "HKLM\\SOFTWARE\\X"},
        {"add", "HKXX\\SOFTWARE\\X", "/v", "a", "/d", "1"},
        {"add", "HKLM\\SOFTWARE\\X", "/v", "a", "/t", "REG_DWORD", "/d", "12x"},
        {"add", "HKLM\\SOFTWARE\\X", "/v", "a", "/t", "REG_DWORD", "/d", "4294967296"},
        {"add", "HKLM\\SOFTWARE\\X", "/v", "a", "/t", "REG_DWORD", "/d", "-1"},
        {"add", "HKLM\\SOFTWARE\\X", "/v", "a", "/t", "REG_DWORD"},
        {"add", "HKLM\\SOFTWARE\\X", "/v", "a", "/t", "REG_MULTI"},
        {"add", "HKLM\\SOFTWARE\\X", "/v", "a", "/t", "REG_BINARY", "/d", "abc"},
        {"add", "HKLM\\SOFTWARE\\X", "/v"},
        {"add", "HKLM\\SOFTWARE\\X", "/d", "1"},
        {"add", "HKLM\\SOFTWARE\\X", "/v", "a", "/v", "b", "/d", "1"},
        {"add", "HKLM\\SOFTWARE\\X", "/v", "a", "/d", "1", "/reg:16"},
        {"query", "HKLM\\SOFTWARE\\X", "/d", "1"},
        {"delete", "HKLM\\SOFTWARE\\X", "/t", "REG_SZ"},
    };
    for (const auto& args : malformed) {
        EXPECT_EQ(run(args), kExitUsage) << (args.empty() ? "" : args[0]);
        EXPECT_NE(err_.str().find("usage:"), std::string::npos);
        EXPECT_FALSE(db_->keyExists(L"HKLM\\SOFTWARE\\X"));
    }
}

}  // namespace
}  // namespace korin::standin
