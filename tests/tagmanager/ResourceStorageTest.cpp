// The saved container file in a temporary home and the bundle defaults in a real bundle folder.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "tagmanager/container/ZAVPreviewManager.h"
#include "tagmanager/container/ZAVResourceStorageImpl.h"
#include "tagmanager/runtime/ZAVMacros.h"
#include "tagmanager/values/ZAVAsyncUtil.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"
#include "tests/tagmanager/support/ResourceBuilder.h"

namespace {

namespace fs = std::filesystem;

class RecordingCallback : public ZAVSavedResourceLoadCallback {
  public:
    void startLoad() override { ++starts; }
    void onSuccess(const std::shared_ptr<ZAVPResourceWithMetadata>& resource) override {
        onMain = onMain && plat::RunLoop::main().isCurrent();
        std::lock_guard<std::mutex> lock(mutex);
        successes.push_back(resource);
        ++results;
    }
    void onFailure(uint32_t failure) override {
        onMain = onMain && plat::RunLoop::main().isCurrent();
        std::lock_guard<std::mutex> lock(mutex);
        failures.push_back(failure);
        ++results;
    }

    std::mutex mutex;
    std::atomic<int> starts{0};
    std::atomic<int> results{0};
    std::atomic<bool> onMain{true};
    std::vector<std::shared_ptr<ZAVPResourceWithMetadata>> successes;
    std::vector<uint32_t> failures;
};

template <typename Done>
bool pumpUntil(Done done) {
    for (int i = 0; i < 2000 && !done(); ++i) plat::RunLoop::main().runOnce(0.01);
    return done();
}

class ResourceStorageTest : public ::testing::Test {
  protected:
    void SetUp() override { plat::Bundle::setMainResourcePath(bundle.path()); }
    void TearDown() override {
        ZAVAsyncUtil::waitUntilIdle();
        plat::RunLoop::main().runOnce(0);
        plat::Bundle::setMainResourcePath({});
        ZAVPreviewManager::instance()->clear();
    }

    fs::path dataDir() const {
        return home.path() / "Library" / "Application Support" / "Zedive" / "ZodAruzivu";
    }

    // One load through the background queue, its result heard on the main loop.
    std::shared_ptr<RecordingCallback> load(const std::shared_ptr<ZAVResourceStorageImpl>& storage) {
        auto callback = std::make_shared<RecordingCallback>();
        storage->setLoadCallback(callback);
        storage->loadResourceFromDiskInBackground();
        EXPECT_TRUE(pumpUntil([&] { return callback->results.load() == 1; }));
        ZAVAsyncUtil::waitUntilIdle();
        plat::RunLoop::main().runOnce(0);
        EXPECT_EQ(callback->results.load(), 1);
        EXPECT_EQ(callback->starts.load(), 1);
        EXPECT_TRUE(callback->onMain.load());
        return callback;
    }

    bool save(const std::shared_ptr<ZAVResourceStorageImpl>& storage,
              std::shared_ptr<const ZAVPResourceWithMetadata> resource) {
        std::optional<bool> written;
        storage->saveResourceToDiskInBackground(std::move(resource), [&](bool ok) { written = ok; });
        EXPECT_TRUE(pumpUntil([&] { return written.has_value(); }));
        return written.value_or(false);
    }

    static std::shared_ptr<ZAVPResourceWithMetadata> sample(int64_t timeStamp) {
        tmtest::ResourceBuilder builder;
        builder.macro("greeting", "_c", {{"value", builder.string("hi")}});
        builder.setVersion("7");
        return builder.withMetadata(timeStamp);
    }

    static std::string bytesOf(const ZAVWireGeneratedMessage& message) {
        auto data = message.data();
        return std::string(reinterpret_cast<const char*>(data->bytes()), data->length());
    }

    testsupport::TempHome home;
    testsupport::TempDir bundle;
};

TEST_F(ResourceStorageTest, NoSavedFileIsFailureOneWithADebugLine) {
    tmtest::CapturedLog log;
    auto callback = load(ZAVResourceStorageImpl::create("CTR1"));
    EXPECT_EQ(callback->failures, std::vector<uint32_t>{ZAVLoadFailureNotAvailable});
    EXPECT_EQ(log->count("debug", "Resource not on disk"), 1u);
    EXPECT_TRUE(fs::is_directory(dataDir()));
}

TEST_F(ResourceStorageTest, SavedResourceComesBackWholeAndNoTemporaryIsLeft) {
    auto storage = ZAVResourceStorageImpl::create("CTR1");
    auto saved = sample(1234);
    ASSERT_TRUE(save(storage, saved));
    fs::path file = dataDir() / "resource_CTR1";
    ASSERT_TRUE(fs::is_regular_file(file));
    EXPECT_EQ(testsupport::readFile(file), bytesOf(*saved));
    EXPECT_EQ(std::distance(fs::directory_iterator(dataDir()), fs::directory_iterator()), 1);
    EXPECT_EQ(storage->resourceFilename(), file);

    auto callback = load(storage);
    ASSERT_EQ(callback->successes.size(), 1u);
    EXPECT_EQ(callback->successes[0]->timeStamp(), 1234);
    EXPECT_TRUE(callback->successes[0]->isEqual(saved.get()));

    // A second save replaces the first.
    ASSERT_TRUE(save(storage, sample(99)));
    EXPECT_EQ(load(storage)->successes.at(0)->timeStamp(), 99);
}

TEST_F(ResourceStorageTest, TruncatedOrIncompleteSavedFileIsFailureTwo) {
    auto storage = ZAVResourceStorageImpl::create("CTR1");
    fs::create_directories(dataDir());
    std::string whole = bytesOf(*sample(1234));
    {
        tmtest::CapturedLog log;
        // Cut inside the last field: its length says one more byte than there is.
        testsupport::writeFile(dataDir() / "resource_CTR1", whole.substr(0, whole.size() - 1));
        EXPECT_EQ(load(storage)->failures, std::vector<uint32_t>{ZAVLoadFailureIOError});
        EXPECT_EQ(log->count("warning",
                             "Error reading resource from disk: NSParseErrorException: the data "
                             "ends inside a field"),
                  1u);
        EXPECT_EQ(log->count("warning", "not initialized"), 0u);
    }
    {
        tmtest::CapturedLog log;
        auto noResource = ZAVPResourceWithMetadata::message();
        noResource->setTimeStamp(5);
        testsupport::writeFile(dataDir() / "resource_CTR1", bytesOf(*noResource));
        EXPECT_EQ(load(storage)->failures, std::vector<uint32_t>{ZAVLoadFailureIOError});
        EXPECT_EQ(log->count("warning", "Resource from disk not initialized."), 1u);
    }
}

TEST_F(ResourceStorageTest, PreviewedContainerDoesNotReadItsSavedFile) {
    auto storage = ZAVResourceStorageImpl::create("CTR1");
    ASSERT_TRUE(save(storage, sample(1)));
    ASSERT_TRUE(ZAVPreviewManager::instance()->generatePreviewDataForUrl(
        std::string("zodaruzivu.c.app://preview/p?id=CTR1&vuz_auth=x&vuz_preview=1")));
    tmtest::CapturedLog log;
    EXPECT_EQ(load(storage)->failures, std::vector<uint32_t>{ZAVLoadFailureNotAvailable});
    EXPECT_EQ(log->count("debug", "Resource not on disk"), 0u);
    // Another container is read as usual.
    auto other = ZAVResourceStorageImpl::create("CTR2");
    ASSERT_TRUE(save(other, sample(2)));
    EXPECT_EQ(load(other)->successes.size(), 1u);
}

TEST_F(ResourceStorageTest, NoDataDirectoryReportsFailureOneAndRefusesTheSave) {
    fs::create_directories(home.path() / "Library");
    testsupport::writeFile(home.path() / "Library" / "Application Support", "a file in the way");
    auto storage = ZAVResourceStorageImpl::create("CTR1");
    tmtest::CapturedLog log;
    EXPECT_EQ(load(storage)->failures, std::vector<uint32_t>{ZAVLoadFailureNotAvailable});
    EXPECT_FALSE(save(storage, sample(1)));
    EXPECT_EQ(log->count("error", "Create directory error: "), 2u);
    EXPECT_THROW(ZAVResourceStorageImpl::dataPath(), plat::Exception);
}

TEST_F(ResourceStorageTest, IdThatCannotNameAFileReadsAndWritesNothing) {
    for (std::string id : {std::string("../escape"), std::string("a/b"), std::string("a\0b", 3)}) {
        auto storage = ZAVResourceStorageImpl::create(id);
        tmtest::CapturedLog log;
        EXPECT_EQ(load(storage)->failures, std::vector<uint32_t>{ZAVLoadFailureNotAvailable});
        EXPECT_FALSE(save(storage, sample(1)));
        EXPECT_EQ(log->count("warning", "Container id cannot name a file: "), 2u);
        EXPECT_FALSE(storage->loadResourceFromContainerFile(id));
    }
    EXPECT_TRUE(!fs::exists(dataDir()) || fs::is_empty(dataDir()));
    EXPECT_FALSE(fs::exists(home.path() / "Library" / "Application Support" / "Zedive" / "escape"));
}

TEST_F(ResourceStorageTest, FailedWriteLeavesNoSavedFile) {
    auto storage = ZAVResourceStorageImpl::create("CTR1");
    // A folder where the file goes: the rename over it fails.
    fs::create_directories(dataDir() / "resource_CTR1");
    tmtest::CapturedLog log;
    EXPECT_FALSE(storage->saveResourceToDisk(*sample(1)));
    EXPECT_EQ(log->count("warning", "Error writing resource to disk. Removing resource from disk."), 1u);
    EXPECT_FALSE(fs::exists(dataDir() / "resource_CTR1"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dataDir()), fs::directory_iterator()), 0);
}

TEST_F(ResourceStorageTest, BinaryDefaultIsReadAndCheckedWhole) {
    auto storage = ZAVResourceStorageImpl::create("CTR1");
    auto resource = sample(0)->resource();
    testsupport::writeFile(bundle.path() / "CTR1", bytesOf(*resource));
    testsupport::writeFile(bundle.path() / "CTR1.plist", "not even a property list");
    tmtest::CapturedLog log;
    auto read = storage->loadResourceFromContainerFile("CTR1");
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->isEqual(resource.get()));
    EXPECT_EQ(log->count("verbose", "Loading default container from CTR1"), 1u);

    EXPECT_FALSE(storage->loadResourceFromContainerFile("NONE"));
    EXPECT_EQ(log->count("warning", "Cannot find binary resource file 'NONE'."), 1u);

    auto incomplete = ZAVPResource::message();
    incomplete->propertyArray()->addObject(ZAVPProperty::message());
    testsupport::writeFile(bundle.path() / "HALF", bytesOf(*incomplete));
    EXPECT_FALSE(storage->loadResourceFromContainerFile("HALF"));
    EXPECT_EQ(log->count("warning", "Resource from container not initialized."), 1u);

    testsupport::writeFile(bundle.path() / "BAD", std::string("\x0a\xff\xff\xff", 4));
    EXPECT_FALSE(storage->loadResourceFromContainerFile("BAD"));
    EXPECT_EQ(log->count("warning", "Error reading resource from binary container file: "), 1u);
}

void expectGreetingFlagAndNumber(const std::shared_ptr<const ZAVExpandedResource>& resource) {
    ASSERT_TRUE(resource);
    ASSERT_EQ(resource->allMacros().size(), 3u);
    auto value = [&](const std::string& name) {
        return ZAVTypes::valueToObject(
            resource->macrosByName(name)->at(0)->propertyForKey(ZAVConstantMacro::valueKey()));
    };
    EXPECT_EQ(value("greeting")->textValue(), "hi");
    EXPECT_TRUE(value("flag")->isBoolean());
    EXPECT_TRUE(value("flag")->boolValue());
    EXPECT_EQ(value("n")->int64Value(), 3);
}

TEST_F(ResourceStorageTest, PropertyListDefault) {
    auto storage = ZAVResourceStorageImpl::create("CTR1");
    plat::Value::Dictionary dict;
    dict.set("greeting", "hi");
    dict.set("flag", true);
    dict.set("n", 3);
    ASSERT_TRUE(plat::PropertyList::writeFile(bundle.path() / "CTR1.plist", plat::Value(dict),
                                              plat::PropertyList::Format::Binary));
    tmtest::CapturedLog log;
    expectGreetingFlagAndNumber(storage->loadExpandedResourceFromPlistFile("CTR1"));
    EXPECT_EQ(log->count("verbose", "loading default container from CTR1.plist"), 1u);

    EXPECT_FALSE(storage->loadExpandedResourceFromPlistFile("NONE"));
    EXPECT_EQ(log->count("warning", "Cannot find resource file 'NONE.plist'."), 1u);

    dict.set("list", plat::Value(plat::Value::Array{plat::Value(1)}));
    ASSERT_TRUE(plat::PropertyList::writeFile(bundle.path() / "LIST.plist", plat::Value(dict)));
    EXPECT_FALSE(storage->loadExpandedResourceFromPlistFile("LIST"));
    EXPECT_EQ(log->count("warning", "Error reading resource from plist file: Type Array is not supported"),
              1u);

    // Not a dictionary, or not a property list at all: an error, never an empty container.
    ASSERT_TRUE(
        plat::PropertyList::writeFile(bundle.path() / "TOP.plist", plat::Value(plat::Value::Array{})));
    testsupport::writeFile(bundle.path() / "JUNK.plist", "<plist><dict><key>");
    EXPECT_FALSE(storage->loadExpandedResourceFromPlistFile("TOP"));
    EXPECT_FALSE(storage->loadExpandedResourceFromPlistFile("JUNK"));
    EXPECT_EQ(log->count("warning", "Error reading resource from plist file: "), 3u);
}

TEST_F(ResourceStorageTest, JsonDefault) {
    auto storage = ZAVResourceStorageImpl::create("CTR1");
    testsupport::writeFile(bundle.path() / "CTR1.json", R"({"greeting": "hi", "flag": true, "n": 3})");
    tmtest::CapturedLog log;
    expectGreetingFlagAndNumber(storage->loadExpandedResourceFromJsonFile("CTR1"));
    EXPECT_EQ(log->count("verbose", "loading default container from CTR1.json"), 1u);
    EXPECT_EQ(log->count("verbose", R"("greeting")"), 1u);

    EXPECT_FALSE(storage->loadExpandedResourceFromJsonFile("NONE"));
    EXPECT_EQ(log->count("warning", "Cannot find resource file 'NONE.json'."), 1u);

    testsupport::writeFile(bundle.path() / "NULL.json", R"({"a": null})");
    EXPECT_FALSE(storage->loadExpandedResourceFromJsonFile("NULL"));
    EXPECT_EQ(log->count("warning", "Error reading resource from json file: Type Null is not supported"), 1u);

    testsupport::writeFile(bundle.path() / "BROKEN.json", R"({"a": )");
    EXPECT_FALSE(storage->loadExpandedResourceFromJsonFile("BROKEN"));
    EXPECT_EQ(log->count("warning", "Error reading resource from json file: "), 2u);

    testsupport::writeFile(bundle.path() / "FRAGMENT.json", "12");
    auto fragment = storage->loadExpandedResourceFromJsonFile("FRAGMENT");
    ASSERT_TRUE(fragment);
    EXPECT_TRUE(fragment->allMacros().empty());
}

}  // namespace
