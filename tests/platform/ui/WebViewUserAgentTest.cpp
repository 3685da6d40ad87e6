// The default user agent: the engine's own, known without setting the engine up.
#include <glib-object.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/WebView.h"
#include "tests/support/TestSupport.h"

TEST(WebViewUserAgent, TheDefaultIsWhatTheEnginesSettingsReport) {
    testsupport::TempHome home;
    const std::string agent = plat::WebView::defaultUserAgent();
    EXPECT_FALSE(agent.empty());
    EXPECT_EQ(agent, plat::WebView::engineUserAgent());
}

// A program that only asks for the agent (the banner does, when it is made) must not pay for the engine:
// its settings type is still unknown afterwards, and no view exists. A fresh process, so no earlier test
// has set the engine up.
TEST(WebViewUserAgent, KnownWithoutSettingTheEngineUp) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            bool untouched = false;
            {
                testsupport::TempHome home;
                const bool before = g_type_from_name("WebKitSettings") == 0;
                const std::string agent = plat::WebView::defaultUserAgent();
                untouched = before && !agent.empty() && g_type_from_name("WebKitSettings") == 0 &&
                            plat::WebView::liveCount() == 0;
            }
            std::exit(untouched ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}
