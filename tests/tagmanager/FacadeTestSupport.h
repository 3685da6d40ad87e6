#pragma once
// The fixture of the facade and opener tests: a temporary home and bundle folder, the virtual clock, the
// tag manager's log captured, a loopback server for downloads, and after each test the facade's shared
// instance, its containers and the openers' waiting lists gone before the home goes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/runloop/RunLoop.h"
#include "platform/storage/Bundle.h"
#include "tagmanager/ZAVContainerOpener.h"
#include "tagmanager/ZODAruzivu.h"
#include "tagmanager/container/ZAVPreviewManager.h"
#include "tagmanager/values/ZAVAsyncUtil.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/ContainerTestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace tmtest {

class FacadeFixture : public ::testing::Test {
  protected:
    void SetUp() override { plat::Bundle::setMainResourcePath(bundle.path()); }
    void TearDown() override {
        ZODAruzivu::resetInstance();
        ZAVContainerOpener::resetNotifiers();
        ZAVAsyncUtil::waitUntilIdle();
        plat::RunLoop::main().runOnce(0);
        ZAVPreviewManager::instance()->clear();
        plat::Bundle::setMainResourcePath({});
    }
    void pump() {
        for (int i = 0; i < 5; ++i) plat::RunLoop::main().runOnce(0.01);
    }
    static std::string address(const testsupport::LoopbackServer& s) {
        return "http://127.0.0.1:" + std::to_string(s.port());
    }

    testsupport::TempHome home;
    testsupport::TempDir bundle;
    testsupport::VirtualClockScope clock;
    CapturedLog log;
    testsupport::LoopbackServer server;
    testsupport::URLLoadingScope loading;
    std::shared_ptr<RecordingContainerCallback> callback = std::make_shared<RecordingContainerCallback>();
};

}  // namespace tmtest
