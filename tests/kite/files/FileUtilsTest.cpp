#include <gtest/gtest.h>
#include <minizip/zip.h>

#include <memory>

#include "kite/base/KTArray.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTDictionary.h"
#include "kite/base/KTString.h"
#include "kite/base/KTValues.h"
#include "kite/files/KTFileUtils.h"
#include "platform/base/Log.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "tests/support/TestSupport.h"

using namespace kite;
using plat::Value;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

struct DataDeleter {
    void operator()(unsigned char* p) const { delete[] p; }
};
using Data = std::unique_ptr<unsigned char[], DataDeleter>;

std::string text(const Data& data, unsigned long size) {
    return std::string(reinterpret_cast<char*>(data.get()), size);
}

// A zip archive with the given members, written with minizip.
void makeZip(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& members) {
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const auto& [name, content] : members) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                      Z_DEFAULT_COMPRESSION),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

class FileUtilsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        KTFileUtils::purgeFileUtils();
        plat::Bundle::setMainResourcePath(resources.path());
        utils = KTFileUtils::sharedFileUtils();
    }
    void TearDown() override {
        KTFileUtils::purgeFileUtils();
        plat::Bundle::setMainResourcePath({});
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
    }
    fs::path res(const std::string& name) const { return resources.path() / name; }

    testsupport::TempHome home;
    testsupport::TempDir resources;
    KTFileUtils* utils = nullptr;
};

}  // namespace

TEST_F(FileUtilsTest, SearchPathsAreTheOuterLoopAndResolutionOrdersTheInner) {
    for (const char* f : {"a/hd/x.png", "a/x.png", "hd/x.png", "x.png"}) writeFile(res(f), f);
    utils->setSearchPaths({"a", ""});
    utils->setSearchResolutionsOrder({"hd", ""});
    for (const char* expected : {"a/hd/x.png", "a/x.png", "hd/x.png", "x.png"}) {
        EXPECT_EQ(utils->fullPathForFilename("x.png"), res(expected).string());
        fs::remove(res(expected));
        // The answer is cached until the cache is emptied.
        EXPECT_EQ(utils->fullPathForFilename("x.png"), res(expected).string());
        utils->purgeCachedEntries();
    }
    // Nothing left: the name comes back unchanged, and nothing negative is cached.
    EXPECT_EQ(utils->fullPathForFilename("x.png"), "x.png");
    writeFile(res("x.png"), "again");
    EXPECT_EQ(utils->fullPathForFilename("x.png"), res("x.png").string());
}

TEST_F(FileUtilsTest, NamesWithFoldersAndAbsoluteNames) {
    writeFile(res("sounds/hd/se.wav"), "w");
    utils->setSearchResolutionsOrder({"hd"});
    EXPECT_EQ(utils->fullPathForFilename("sounds/se.wav"), res("sounds/hd/se.wav").string());
    EXPECT_EQ(utils->fullPathForFilename("/no/such/file.png"), "/no/such/file.png");
    EXPECT_EQ(utils->fullPathForFilename(""), "");

    // An absolute search path is taken as it is.
    testsupport::TempDir elsewhere;
    writeFile(elsewhere.path() / "only.png", "p");
    utils->addSearchPath(elsewhere.path().c_str());
    EXPECT_EQ(utils->fullPathForFilename("only.png"), (elsewhere.path() / "only.png").string());
    EXPECT_FALSE(utils->isFileExist(""));
    EXPECT_TRUE(utils->isFileExist("sounds/hd/se.wav"));
    EXPECT_TRUE(utils->isFileExist((elsewhere.path() / "only.png").string()));
    EXPECT_FALSE(utils->isFileExist("../" + resources.path().filename().string() + "/sounds/hd/se.wav"));
}

TEST_F(FileUtilsTest, SearchListsAreNormalised) {
    EXPECT_EQ(utils->getSearchPaths(), std::vector<std::string>{""});
    EXPECT_EQ(utils->getSearchResolutionsOrder(), std::vector<std::string>{""});
    utils->setSearchPaths({});
    EXPECT_EQ(utils->getSearchPaths(), std::vector<std::string>{""});
    utils->setSearchPaths({"a", "/abs", "b/"});
    EXPECT_EQ(utils->getSearchPaths(), (std::vector<std::string>{"a/", "/abs/", "b/", ""}));
    utils->setSearchPaths({"", "a"});
    EXPECT_EQ(utils->getSearchPaths(), (std::vector<std::string>{"", "a/"}));
    utils->removeSearchPath("a");
    utils->removeSearchPath("never-added");
    EXPECT_EQ(utils->getSearchPaths(), std::vector<std::string>{""});

    utils->setSearchResolutionsOrder({"hd"});
    EXPECT_EQ(utils->getSearchResolutionsOrder(), (std::vector<std::string>{"hd/", ""}));
    utils->setSearchResolutionsOrder({"", "hd"});
    EXPECT_EQ(utils->getSearchResolutionsOrder(), (std::vector<std::string>{"", "hd/"}));
    utils->addSearchResolutionsOrder("ipad");
    EXPECT_EQ(utils->getSearchResolutionsOrder().back(), "ipad");  // appended unchanged
}

TEST_F(FileUtilsTest, AddingASearchPathKeepsEarlierAnswers) {
    writeFile(res("x.png"), "root");
    writeFile(res("first/x.png"), "first");
    EXPECT_EQ(utils->fullPathForFilename("x.png"), res("x.png").string());
    utils->addSearchPath("first");
    utils->getSearchPaths();
    EXPECT_EQ(utils->fullPathForFilename("x.png"), res("x.png").string());
    utils->setSearchPaths({"first"});
    EXPECT_EQ(utils->fullPathForFilename("x.png"), res("first/x.png").string());
}

TEST_F(FileUtilsTest, LookupDictionaryRenamesRequestedNames) {
    writeFile(res("bg1-hd.png"), "p");
    auto lookup = [](int version) {
        return Value(
            Value::Dictionary{{"metadata", Value::Dictionary{{"version", version}}},
                              {"filenames", Value::Dictionary{{"bg1.png", "bg1-hd.png"}, {"e.png", ""}}}});
    };
    ASSERT_TRUE(plat::PropertyList::writeFile(res("lookup2.plist"), lookup(2)));
    ASSERT_TRUE(plat::PropertyList::writeFile(res("lookup1.plist"), lookup(1)));
    ASSERT_TRUE(
        plat::PropertyList::writeFile(res("nometa.plist"), Value(Value::Dictionary{{"filenames", 1}})));

    utils->loadFilenameLookupDictionaryFromFile("lookup2.plist");
    EXPECT_EQ(utils->fullPathForFilename("bg1.png"), "bg1.png");  // version 2 is ignored
    utils->loadFilenameLookupDictionaryFromFile("lookup1.plist");
    EXPECT_EQ(utils->fullPathForFilename("bg1.png"), res("bg1-hd.png").string());
    EXPECT_EQ(utils->fullPathForFilename("e.png"), "e.png");  // an empty replacement is no replacement
    EXPECT_STREQ(utils->fullPathFromRelativeFile("bg1.png", "/data/maps/level.plist"),
                 "/data/maps/bg1-hd.png");
    EXPECT_STREQ(utils->fullPathFromRelativeFile("other.png", "level.plist"), "other.png");

    plat::LogCapture quiet;
    utils->loadFilenameLookupDictionaryFromFile("nometa.plist");
    utils->loadFilenameLookupDictionaryFromFile("missing.plist");
    EXPECT_EQ(utils->fullPathForFilename("bg1.png"), res("bg1-hd.png").string());  // unchanged
    utils->setFilenameLookupDictionary(nullptr);
    EXPECT_EQ(utils->fullPathForFilename("bg1.png"), "bg1.png");
}

TEST_F(FileUtilsTest, ReadsRegularFilesWhole) {
    writeFile(res("chara.csv"), std::string("a,b\n\0c", 6));
    unsigned long size = 99;
    Data data(utils->getFileData("chara.csv", "rb", &size));
    ASSERT_TRUE(data);
    EXPECT_EQ(text(data, size), std::string("a,b\n\0c", 6));

    writeFile(res("empty.txt"), "");
    Data empty(utils->getFileData("empty.txt", "r", &size));
    EXPECT_TRUE(empty);
    EXPECT_EQ(size, 0u);

    plat::LogCapture quiet;
    fs::create_directories(res("folder"));
    for (const char* name : {"folder", "missing.txt"}) {
        size = 99;
        EXPECT_FALSE(Data(utils->getFileData(name, "rb", &size))) << name;
        EXPECT_EQ(size, 0u);
    }
    EXPECT_FALSE(Data(utils->getFileData(res("folder").c_str(), "rb", &size)));
    EXPECT_FALSE(Data(utils->getFileData(nullptr, "rb", &size)));
}

TEST_F(FileUtilsTest, ReadsZipMembers) {
    fs::path zip = resources.path() / "pack.zip";
    std::string big(100000, 'z');
    makeZip(zip, {{"a.txt", "alpha"}, {"dir/b.bin", big}, {"empty", ""}});
    unsigned long size = 0;
    Data a(utils->getFileDataFromZip(zip.c_str(), "a.txt", &size));
    ASSERT_TRUE(a);
    EXPECT_EQ(text(a, size), "alpha");
    Data b(utils->getFileDataFromZip(zip.c_str(), "dir/b.bin", &size));
    ASSERT_TRUE(b);
    EXPECT_EQ(text(b, size), big);
    Data e(utils->getFileDataFromZip(zip.c_str(), "empty", &size));
    EXPECT_TRUE(e);
    EXPECT_EQ(size, 0u);

    plat::LogCapture capture;
    size = 7;
    EXPECT_FALSE(Data(utils->getFileDataFromZip(zip.c_str(), "A.TXT", &size)));  // names are case-sensitive
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(Data(utils->getFileDataFromZip(zip.c_str(), nullptr, &size)));
    EXPECT_FALSE(Data(utils->getFileDataFromZip("", "a.txt", &size)));
    EXPECT_FALSE(Data(utils->getFileDataFromZip((resources.path() / "none.zip").c_str(), "a.txt", &size)));
    EXPECT_TRUE(capture.contains("A.TXT"));
}

TEST_F(FileUtilsTest, DamagedZipArchivesGiveNothing) {
    fs::path zip = resources.path() / "pack.zip";
    std::string payload;
    for (int i = 0; i < 5000; ++i) payload += std::to_string(i * 7919 % 1000);
    makeZip(zip, {{"data.txt", payload}});
    std::string bytes = testsupport::readFile(zip);

    std::string flipped = bytes;
    for (size_t i = 60; i < 90; ++i)
        flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);  // inside the deflated data
    writeFile(resources.path() / "flipped.zip", flipped);
    writeFile(resources.path() / "cut.zip", bytes.substr(0, bytes.size() / 2));
    writeFile(resources.path() / "tail.zip", bytes.substr(bytes.size() - 30));

    plat::LogCapture capture;
    for (const char* name : {"flipped.zip", "cut.zip", "tail.zip"}) {
        unsigned long size = 1;
        EXPECT_FALSE(Data(utils->getFileDataFromZip((resources.path() / name).c_str(), "data.txt", &size)))
            << name;
        EXPECT_EQ(size, 0u);
    }
    EXPECT_EQ(capture.lines().size(), 3u);
}

TEST_F(FileUtilsTest, PropertyListsBecomeContainersOfStrings) {
    Value content(Value::Dictionary{
        {"name", "potemaru"},
        {"level", 3},
        {"ratio", 0.5},
        {"on", true},
        {"blob", plat::Bytes{1, 2}},
        {"list", Value::Array{"a", 2, Value::Dictionary{{"k", "v"}}, Value::Array{}}},
        {"nested", Value::Dictionary{{"deep", Value::Dictionary{}}}},
    });
    ASSERT_TRUE(plat::PropertyList::writeFile(res("data.plist"), content));

    KTDictionary* dict = KTDictionary::createWithContentsOfFile("data.plist");
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(dict->count(), 6u);  // the data entry is skipped
    EXPECT_EQ(static_cast<KTString*>(dict->objectForKey("name"))->getString(), "potemaru");
    EXPECT_EQ(static_cast<KTString*>(dict->objectForKey("level"))->getString(), "3");
    EXPECT_EQ(static_cast<KTString*>(dict->objectForKey("ratio"))->getString(), "0.5");
    EXPECT_EQ(static_cast<KTString*>(dict->objectForKey("on"))->boolValue(), true);
    auto* list = dynamic_cast<KTArray*>(dict->objectForKey("list"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 4u);
    EXPECT_EQ(static_cast<KTString*>(list->objectAtIndex(1))->getString(), "2");
    EXPECT_EQ(list->retainCount(), 1u);  // the parent holds the only reference
    EXPECT_NE(dynamic_cast<KTDictionary*>(list->objectAtIndex(2)), nullptr);

    KTDictionary* owned = KTDictionary::createWithContentsOfFileThreadSafe("data.plist");
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(owned->retainCount(), 1u);
    owned->release();

    plat::LogCapture quiet;
    writeFile(res("broken.plist"), "<plist><dict><key>a</key>");
    EXPECT_EQ(KTDictionary::createWithContentsOfFile("broken.plist"), nullptr);
    EXPECT_EQ(KTDictionary::createWithContentsOfFile("missing.plist"), nullptr);
}

TEST_F(FileUtilsTest, ArrayFilesAndUnreadableOnesGiveArrays) {
    ASSERT_TRUE(
        plat::PropertyList::writeFile(res("list.plist"), Value(Value::Array{"x", 1, Value::Date{0}})));
    KTArray* array = KTArray::createWithContentsOfFile("list.plist");
    ASSERT_NE(array, nullptr);
    ASSERT_EQ(array->count(), 2u);
    EXPECT_EQ(static_cast<KTString*>(array->objectAtIndex(1))->getString(), "1");

    plat::LogCapture quiet;
    KTArray* missing = KTArray::createWithContentsOfFile("missing.plist");
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->count(), 0u);
    ASSERT_TRUE(plat::PropertyList::writeFile(res("dict.plist"), Value(Value::Dictionary{{"a", 1}})));
    EXPECT_EQ(KTArray::createWithContentsOfFile("dict.plist")->count(), 0u);
}

TEST_F(FileUtilsTest, WritesDictionariesAndReportsTheRealResult) {
    KTDictionary* dict = KTDictionary::create();
    dict->setObject(KTString::create("text"), "s");
    KTArray* array = KTArray::create();
    array->addObject(KTString::create("one"));
    array->addObject(KTDictionary::create());
    dict->setObject(array, "list");
    dict->setObject(KTBool::create(true), "skipped");
    KTDictionary* inner = KTDictionary::create();
    inner->setObject(KTString::create("v"), 7);
    dict->setObject(inner, "byNumber");

    std::string path = utils->getWritablePath() + "out.plist";
    EXPECT_EQ(utils->getWritablePath(), plat::Paths::documents().string() + "/");
    ASSERT_TRUE(utils->writeToFile(dict, path));
    Value expected(Value::Dictionary{{"s", "text"},
                                     {"list", Value::Array{"one", Value::Dictionary{}}},
                                     {"byNumber", Value::Dictionary{{"7", "v"}}}});
    EXPECT_EQ(plat::PropertyList::readFile(path).value(), expected);

    plat::LogCapture capture;
    EXPECT_FALSE(utils->writeToFile(dict, utils->getWritablePath() + "no/such/folder/out.plist"));
    EXPECT_FALSE(capture.lines().empty());
}

TEST_F(FileUtilsTest, SharedInstanceLivesUntilPurged) {
    EXPECT_EQ(KTFileUtils::sharedFileUtils(), utils);
    EXPECT_EQ(utils->getClassTypeInfo(), utils->getClassTypeInfo());
    EXPECT_NE(utils->getClassTypeInfo(), 0u);
    EXPECT_TRUE(utils->isPopupNotify());
    utils->setPopupNotify(false);
    EXPECT_FALSE(utils->isPopupNotify());
    utils->setPopupNotify(true);
    utils->addSearchPath("kept");
    KTFileUtils::purgeFileUtils();
    utils = KTFileUtils::sharedFileUtils();
    EXPECT_EQ(utils->getSearchPaths(), std::vector<std::string>{""});
}
