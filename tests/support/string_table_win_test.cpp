// The string table and manifest of the product exe, read as resources.

#include "support/localized_texts_table.h"
#include "support/string_table_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

namespace korin {
namespace {

// The product exe, loaded as data: the path comes from KORIN_PRODUCT_EXE.
class ProductResources : public ::testing::Test {
  protected:
    void SetUp() override {
        const wchar_t* path = _wgetenv(L"KORIN_PRODUCT_EXE");
        ASSERT_NE(path, nullptr) << "KORIN_PRODUCT_EXE names the product exe";
        std::wstring file = path;
        for (wchar_t& c : file) {
            c = c == L'/' ? L'\\' : c;
        }
        module_ = LoadLibraryExW(file.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    // String id of one language, decoded from its 16-string block.
    std::wstring stringOf(std::uint16_t language, std::uint32_t id) {
        HRSRC block = FindResourceExW(module_, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
        if (block == nullptr) {
            return L"<no block>";
        }
        const auto* data = static_cast<const wchar_t*>(LockResource(LoadResource(module_, block)));
        for (std::uint32_t index = 0; index < id % 16; ++index) {
            data += 1 + *data;
        }
        return std::wstring(data + 1, *data);
    }

    HMODULE module_ = nullptr;
};

TEST_F(ProductResources, EveryLanguageHoldsTheTextsOfTheSourceTable) {
    ASSERT_EQ(kLocalizedTextCount, 32u);
    for (std::size_t i = 0; i < kLocalizedTextCount; ++i) {
        const LocalizedTextEntry& entry = kLocalizedTexts[i];
        EXPECT_EQ(stringOf(entry.language, entry.id), entry.text)
            << entry.language << "/" << entry.id;
    }
}

TEST_F(ProductResources, ManifestRequiresAdministrator) {
    HRSRC manifest = FindResourceW(module_, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(module_, manifest)));
    const std::string xml(text, SizeofResource(module_, manifest));
    EXPECT_NE(xml.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(xml.find("uiAccess=\"false\""), std::string::npos);
}

TEST(WinStringTable, LoadsTheUserInterfaceLanguagesText) {
    // The test exe carries the same string table as the product.
    WinStringTable strings;
    const std::uint16_t language = chooseTextLanguage(GetUserDefaultUILanguage());
    EXPECT_EQ(loadLocalizedText(strings, 110), findLocalizedText(language, 110));
    EXPECT_EQ(loadLocalizedText(strings, 120), findLocalizedText(language, 120));
    EXPECT_EQ(loadLocalizedText(strings, 121), L"MISSING LOCALIZATION");
}

}  // namespace
}  // namespace korin
