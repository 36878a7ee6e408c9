// The description in the machine's language, through the stand-in's string
// table.

#include "service/service_registration.h"

#include "fakes/fake_platform.h"
#include "support/localized_texts_table.h"
#include "support/string_table_posix.h"

#include <gtest/gtest.h>

namespace korin {
namespace {

TEST(ScmSetServiceDescription, UsesTheTextOfTheMachinesLanguage) {
    const std::wstring english = findLocalizedText(0x0409, kServiceDescriptionText);
    const std::wstring french = findLocalizedText(0x040C, kServiceDescriptionText);
    ASSERT_NE(english, french);
    struct Case {
        std::uint16_t uiLanguage;
        std::wstring text;
    };
    const Case cases[] = {{0x040C, french}, {0x0C0C, french}, {0x0409, english}, {0x0401, english}};
    for (const Case& c : cases) {
        testing::FakePlatform fake;
        StandInStringTable strings(c.uiLanguage);
        Platform platform = fake.platform();
        platform.strings = &strings;
        const ServiceInfo info{L"C:\\Korin\\svc.exe", kServiceName, kServiceDisplayName};
        ASSERT_TRUE(scmCreateService(platform, info));
        EXPECT_EQ(fake.serviceControl.find(kServiceName)->description, c.text) << c.uiLanguage;
    }
}

}  // namespace
}  // namespace korin
