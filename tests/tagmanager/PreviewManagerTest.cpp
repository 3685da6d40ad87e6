// Preview URLs: whole-text matches of the enter and leave forms, and the state they leave behind.
#include <gtest/gtest.h>

#include <string>

#include "tagmanager/container/ZAVPreviewManager.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

const std::string kEnter = "zodaruzivu.c.com.example.game://preview/p?id=CTR1&vuz_auth=x%20y&vuz_preview=1";
const std::string kLeave = "zodaruzivu.c.com.example.game://preview/p?id=CTR1&vuz_preview=";

TEST(PreviewManagerTest, EnterUrlPreviewsThatIdWithTheWholeQuery) {
    ZAVPreviewManager manager;
    tmtest::CapturedLog log;
    EXPECT_TRUE(manager.generatePreviewDataForUrl(kEnter));
    EXPECT_EQ(manager.previewMode(), 1);
    EXPECT_EQ(manager.ctfeUrlPath(), "/r?id=CTR1&vuz_auth=x%20y&vuz_preview=1");
    EXPECT_EQ(manager.containerId(), "CTR1");
    EXPECT_TRUE(manager.isPreviewingContainer("CTR1"));
    EXPECT_FALSE(manager.isPreviewingContainer("CTR2"));
    EXPECT_EQ(log->count("info", "Preview Url = " + kEnter), 1u);
    EXPECT_EQ(log->count("info", "Not a tag manager "), 0u);
}

TEST(PreviewManagerTest, LeaveUrlEndsOnlyThePreviewedIdAndKeepsTheId) {
    ZAVPreviewManager manager;
    ASSERT_TRUE(manager.generatePreviewDataForUrl(kEnter));
    tmtest::CapturedLog log;
    EXPECT_FALSE(manager.generatePreviewDataForUrl(
        std::string("zodaruzivu.c.com.example.game://preview/p?id=OTHER&vuz_preview=")));
    EXPECT_EQ(log->count("info", "Not a tag manager Preview Url = "), 1u);
    EXPECT_TRUE(manager.isPreviewingContainer("CTR1"));

    EXPECT_TRUE(manager.generatePreviewDataForUrl(kLeave));
    EXPECT_EQ(manager.previewMode(), 0);
    EXPECT_FALSE(manager.ctfeUrlPath());
    EXPECT_EQ(manager.containerId(), "CTR1");
    EXPECT_FALSE(manager.isPreviewingContainer("CTR1"));
}

TEST(PreviewManagerTest, EnterForAnotherIdSwitchesThePreview) {
    ZAVPreviewManager manager;
    ASSERT_TRUE(manager.generatePreviewDataForUrl(kEnter));
    ASSERT_TRUE(manager.generatePreviewDataForUrl(
        std::string("zodaruzivu.c.app://preview/p?id=CTR2&vuz_auth=a&vuz_preview=7")));
    EXPECT_TRUE(manager.isPreviewingContainer("CTR2"));
    EXPECT_FALSE(manager.isPreviewingContainer("CTR1"));
    EXPECT_EQ(manager.ctfeUrlPath(), "/r?id=CTR2&vuz_auth=a&vuz_preview=7");
    manager.clear();
    EXPECT_EQ(manager.previewMode(), 0);
    EXPECT_FALSE(manager.containerId());
    EXPECT_FALSE(manager.ctfeUrlPath());
}

TEST(PreviewManagerTest, NonMatchingUrlsAreRefusedWithOneInfoLine) {
    const std::string refused[] = {
        "zodaruzivu.c.app://preview/p?id=CTR1&vuz_auth=x&vuz_preview=abc",  // not digits
        "zodaruzivu.c.app://preview/p?vuz_auth=x&id=CTR1&vuz_preview=1",    // keys out of order
        "zodaruzivu.c.app://preview/q?id=CTR1&vuz_auth=x&vuz_preview=1",    // another path
        "other.app://preview/p?id=CTR1&vuz_auth=x&vuz_preview=1",           // another scheme
        "zodaruzivu.c.app://preview/p?id=CTR 1&vuz_auth=x&vuz_preview=1",   // a space
        kEnter + "\n",                                                      // a trailing line end
        kEnter + "\r\n",
        "",
    };
    for (const auto& url : refused) {
        ZAVPreviewManager manager;
        tmtest::CapturedLog log;
        EXPECT_FALSE(manager.generatePreviewDataForUrl(url)) << url;
        EXPECT_EQ(log->count("info", "Not a tag manager Preview Url = " + url), 1u) << url;
        EXPECT_EQ(manager.previewMode(), 0);
        EXPECT_FALSE(manager.containerId());
    }
    ZAVPreviewManager manager;
    ASSERT_TRUE(manager.generatePreviewDataForUrl(kEnter));
    EXPECT_FALSE(manager.generatePreviewDataForUrl(kLeave + "\n"));
    EXPECT_TRUE(manager.isPreviewingContainer("CTR1"));
}

TEST(PreviewManagerTest, NoUrlIsFalseWithoutALogLine) {
    ZAVPreviewManager manager;
    tmtest::CapturedLog log;
    EXPECT_FALSE(manager.generatePreviewDataForUrl(std::nullopt));
    EXPECT_TRUE(log->lines().empty());
}

TEST(PreviewManagerTest, ContainerIdIsTheFirstParameterCutAtAFurtherEquals) {
    EXPECT_EQ(ZAVPreviewManager::containerIdForQuery("id=CTR-1&x=2"), "CTR-1");
    EXPECT_EQ(ZAVPreviewManager::containerIdForQuery("id=a=b&x=2"), "a");
    EXPECT_EQ(ZAVPreviewManager::containerIdForQuery("id=a%2Fb"), "a%2Fb");
    EXPECT_EQ(ZAVPreviewManager::containerIdForQuery("noequals&x=1"), "");
    EXPECT_EQ(ZAVPreviewManager::containerIdForQuery(""), "");
    EXPECT_EQ(ZAVPreviewManager::queryOfUrl("s://h/p?a=1#frag"), "a=1");
    EXPECT_EQ(ZAVPreviewManager::queryOfUrl("s://h/p"), "");
}

TEST(PreviewManagerTest, OneSharedInstanceUntilReset) {
    auto shared = ZAVPreviewManager::instance();
    EXPECT_EQ(shared, ZAVPreviewManager::instance());
    ASSERT_TRUE(shared->generatePreviewDataForUrl(kEnter));
    ZAVPreviewManager::resetInstance();
    EXPECT_NE(shared, ZAVPreviewManager::instance());
    EXPECT_FALSE(ZAVPreviewManager::instance()->isPreviewingContainer("CTR1"));
}

}  // namespace
