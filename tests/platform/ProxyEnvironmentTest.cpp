#include "platform/net/ProxyEnvironment.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

TEST(ProxyEnvironment, LoopbackIsAlwaysExcludedAndNoProxyIsAdded) {
    testsupport::EnvScope env{{"http_proxy", "http://127.0.0.1:3128"},
                              {"HTTP_PROXY", "http://cgi.example:1"},
                              {"https_proxy", nullptr},
                              {"HTTPS_PROXY", "http://127.0.0.1:3129"},
                              {"all_proxy", nullptr},
                              {"ALL_PROXY", nullptr},
                              {"no_proxy", " .corp.example , intranet,,"},
                              {"NO_PROXY", nullptr}};
    auto proxies = plat::ProxyEnvironment::current();
    EXPECT_EQ(proxies.httpProxy, "http://127.0.0.1:3128");
    EXPECT_EQ(proxies.httpsProxy, "http://127.0.0.1:3129");
    EXPECT_TRUE(proxies.allProxy.empty());
    EXPECT_TRUE(proxies.anyProxy());
    EXPECT_EQ(proxies.exclusionList(), "localhost,127.0.0.0/8,::1,.corp.example,intranet");
}

TEST(ProxyEnvironment, StarExcludesEverything) {
    testsupport::EnvScope env{{"all_proxy", "http://127.0.0.1:3128"}, {"no_proxy", "a.example,*"}};
    auto proxies = plat::ProxyEnvironment::current();
    EXPECT_TRUE(proxies.bypassAll);
    EXPECT_FALSE(proxies.anyProxy());
    // A lone star is the only form of "everything" that the transfer library understands.
    EXPECT_EQ(proxies.exclusionList(), "*");
}
