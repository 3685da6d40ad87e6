#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/base/ClassRegistry.h"
#include "platform/base/Log.h"
#include "platform/storage/KeyedArchive.h"
#include "platform/storage/PropertyList.h"
#include "tests/support/TestSupport.h"

using plat::ClassRegistry;
using plat::Coding;
using plat::KeyedArchive;
using plat::KeyedArchiver;
using plat::KeyedUnarchiver;
using plat::Value;

namespace {

struct Entry : Coding {
    bool valid = false;
    std::string text;
    Value weights;
    std::string codingClassName() const override { return "TestEntry"; }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        coder.encode("_valid", valid);
        coder.encode("_text", text);
        coder.encode("_weights", weights);
    }
    bool initWithCoder(KeyedUnarchiver& coder) override {
        valid = coder.decodeBool("_valid");
        text = coder.decodeValue("_text").toString();
        weights = coder.decodeValue("_weights");
        return true;
    }
};

struct Settings : Coding {
    std::string device;
    float cycle = 0;
    int32_t offset = 0;
    std::vector<std::shared_ptr<Entry>> entries;
    std::shared_ptr<Entry> favourite;
    std::string dollar;
    std::string codingClassName() const override { return "TestSettings"; }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        coder.encode("deviceID", device);
        coder.encode("updateCycleTime", cycle);
        coder.encode("ta_off", offset);
        coder.encode("adList", entries);
        coder.encode("favourite", favourite);
        coder.encode("$class", dollar);
    }
    bool initWithCoder(KeyedUnarchiver& coder) override {
        device = coder.decodeValue("deviceID").toString();
        cycle = coder.decodeFloat("updateCycleTime");
        offset = coder.decodeInt32("ta_off");
        entries = coder.decodeObjects<Entry>("adList");
        favourite = coder.decodeObject<Entry>("favourite");
        dollar = coder.decodeValue("$class").toString();
        return true;
    }
};

// Refers to another object of its own class, possibly itself.
struct Link : Coding {
    std::shared_ptr<Link> next;
    std::string codingClassName() const override { return "TestLink"; }
    void encodeWithCoder(KeyedArchiver& coder) const override { coder.encode("next", next); }
    bool initWithCoder(KeyedUnarchiver& coder) override {
        next = coder.decodeObject<Link>("next");
        return true;
    }
};

// Registers the test classes for one test and removes them afterwards.
class KeyedArchiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto& r = ClassRegistry::shared();
        r.registerFactory<Coding>("TestEntry", [] { return std::make_shared<Entry>(); });
        r.registerFactory<Coding>("TestSettings", [] { return std::make_shared<Settings>(); });
        r.registerFactory<Coding>("TestLink", [] { return std::make_shared<Link>(); });
    }
    void TearDown() override {
        for (const char* name : {"TestEntry", "TestSettings", "TestLink"})
            ClassRegistry::shared().unregister(name);
    }
};

Value uid(int64_t n) {
    return Value(Value::Dictionary{{"CF$UID", n}});
}

Value classInfo(const std::string& name, Value::Array chain) {
    return Value(Value::Dictionary{{"$classname", name}, {"$classes", Value(std::move(chain))}});
}

// A binary archive around the given object table, rooted at `root`.
plat::Bytes archiveOf(Value::Array objects, int64_t root = 1) {
    Value archive(Value::Dictionary{{"$version", 100000},
                                    {"$archiver", "NSKeyedArchiver"},
                                    {"$top", Value::Dictionary{{"root", uid(root)}}},
                                    {"$objects", Value(std::move(objects))}});
    return *plat::PropertyList::serialize(archive, plat::PropertyList::Format::Binary);
}

Value sampleTree() {
    return Value(Value::Dictionary{
        {"text", "ぽてまる"},
        {"int", int64_t{-7}},
        {"big", int64_t{1} << 40},
        {"real", 2.5},
        {"flag", true},
        {"bytes", plat::Bytes{0, 1, 255}},
        {"date", Value::Date{1767225600.25}},
        {"null", nullptr},
        {"list", Value::Array{"a", "a", Value::Array{}, Value::Dictionary{}, nullptr}},
        {"$key", "dollar"},
    });
}

}  // namespace

TEST_F(KeyedArchiveTest, ValueTreesRoundTripInThePlatformLayout) {
    auto bytes = KeyedArchive::archive(sampleTree());
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->begin() + 8), "bplist00");
    EXPECT_EQ(KeyedArchive::unarchiveValue(*bytes), sampleTree());

    auto plist = plat::PropertyList::parse(bytes->data(), bytes->size());
    ASSERT_TRUE(plist);
    EXPECT_EQ((*plist)["$archiver"], Value("NSKeyedArchiver"));
    EXPECT_EQ((*plist)["$version"], Value(100000));
    EXPECT_EQ((*plist)["$top"]["root"], uid(1));
    const Value& objects = (*plist)["$objects"];
    EXPECT_EQ(objects[0], Value("$null"));
    const Value& root = objects[1];
    EXPECT_TRUE(root["NS.keys"].isArray());
    EXPECT_EQ(root["NS.keys"].arrayIf()->size(), root["NS.objects"].arrayIf()->size());
    int64_t cls = *root["$class"]["CF$UID"].integerIf();
    EXPECT_EQ(objects[cls]["$classname"], Value("NSDictionary"));
    EXPECT_EQ(objects[cls]["$classes"], Value(Value::Array{"NSDictionary", "NSObject"}));
}

TEST_F(KeyedArchiveTest, PlainRootsAndNullMarkers) {
    for (const Value& v : {Value(), Value("x"), Value(3), Value(Value::Array{nullptr})}) {
        auto bytes = KeyedArchive::archive(v);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(KeyedArchive::unarchiveValue(*bytes), v);
    }
}

TEST_F(KeyedArchiveTest, ValuesWithoutAnArchiveFormAreRefused) {
    plat::LogCapture capture;
    EXPECT_FALSE(KeyedArchive::archive(Value(Value::Array{std::string("a\0b", 3)})));
    EXPECT_TRUE(capture.contains("cannot archive"));
    Value deep;
    for (int i = 0; i < KeyedArchive::kMaxDepth + 1; ++i) deep = Value(Value::Array{std::move(deep)});
    capture.clear();
    EXPECT_FALSE(KeyedArchive::archive(deep));
    EXPECT_TRUE(capture.contains("nested too deeply"));
}

TEST_F(KeyedArchiveTest, ReadsMutableClassesAndSubclassesOfCollections) {
    auto bytes = archiveOf(
        {"$null",
         Value::Dictionary{
             {"NS.keys", Value::Array{uid(2)}}, {"NS.objects", Value::Array{uid(3)}}, {"$class", uid(5)}},
         "key", Value::Dictionary{{"NS.objects", Value::Array{uid(4), uid(6)}}, {"$class", uid(7)}},
         int64_t{12}, classInfo("NSMutableDictionary", {"NSMutableDictionary", "NSDictionary", "NSObject"}),
         Value::Dictionary{{"NS.string", "s"}, {"$class", uid(8)}},
         classInfo("MyList", {"MyList", "NSMutableArray", "NSArray", "NSObject"}),
         classInfo("NSMutableString", {"NSMutableString", "NSString", "NSObject"})});
    EXPECT_EQ(KeyedArchive::unarchiveValue(bytes), Value(Value::Dictionary{{"key", Value::Array{12, "s"}}}));
}

TEST_F(KeyedArchiveTest, ObjectsOfRegisteredClassesRoundTrip) {
    auto shared = std::make_shared<Entry>();
    shared->text = "html";
    shared->weights = Value(Value::Dictionary{{"ja", 10}, {"en", 5}});
    auto other = std::make_shared<Entry>();
    other->valid = true;
    auto settings = std::make_shared<Settings>();
    settings->device = "ABC";
    settings->cycle = 12.5f;
    settings->offset = -3;
    settings->entries = {shared, other};
    settings->favourite = shared;
    settings->dollar = "kept";

    auto bytes = KeyedArchive::archive(settings);
    ASSERT_TRUE(bytes);
    auto back = KeyedArchive::unarchiveObject<Settings>(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->device, "ABC");
    EXPECT_FLOAT_EQ(back->cycle, 12.5f);
    EXPECT_EQ(back->offset, -3);
    ASSERT_EQ(back->entries.size(), 2u);
    EXPECT_EQ(back->entries[0]->text, "html");
    EXPECT_EQ(back->entries[0]->weights, shared->weights);
    EXPECT_FALSE(back->entries[0]->valid);
    EXPECT_TRUE(back->entries[1]->valid);
    // One object archived once comes back as one object.
    EXPECT_EQ(back->favourite, back->entries[0]);
    EXPECT_EQ(back->dollar, "kept");

    // A class's object is not a plain value, and the other way round.
    plat::LogCapture capture;
    EXPECT_FALSE(KeyedArchive::unarchiveValue(*bytes));
    EXPECT_TRUE(capture.contains("not a plain value"));
    auto plain = KeyedArchive::archive(Value("x"));
    EXPECT_FALSE(KeyedArchive::unarchiveObject(plain->data(), plain->size()));
}

TEST_F(KeyedArchiveTest, AbsentAndWronglyTypedKeysGiveDefaults) {
    auto bytes =
        archiveOf({"$null",
                   Value::Dictionary{
                       {"$class", uid(2)}, {"ta_off", uid(3)}, {"adList", int64_t{4}}, {"favourite", uid(3)}},
                   classInfo("TestSettings", {"TestSettings", "NSObject"}), "not a number"});
    plat::LogCapture capture;
    auto back = KeyedArchive::unarchiveObject<Settings>(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->offset, 0);
    EXPECT_FLOAT_EQ(back->cycle, 0.0f);
    EXPECT_TRUE(back->entries.empty());
    EXPECT_FALSE(back->favourite);
    EXPECT_TRUE(capture.contains("\"ta_off\""));
    EXPECT_TRUE(capture.contains("\"adList\""));
    EXPECT_TRUE(capture.contains("\"favourite\""));
}

TEST_F(KeyedArchiveTest, UnregisteredClassGivesNullWithALogLine) {
    auto bytes = archiveOf(
        {"$null", Value::Dictionary{{"$class", uid(2)}}, classInfo("Nobody", {"Nobody", "NSObject"})});
    plat::LogCapture capture;
    EXPECT_FALSE(KeyedArchive::unarchiveObject(bytes.data(), bytes.size()));
    EXPECT_TRUE(capture.contains("\"Nobody\""));
}

TEST_F(KeyedArchiveTest, HostileArchivesGiveNullWithALogLine) {
    const Value arrayClass = classInfo("NSArray", {"NSArray", "NSObject"});
    const Value dictClass = classInfo("NSDictionary", {"NSDictionary", "NSObject"});
    struct Case {
        const char* name;
        plat::Bytes bytes;
        const char* logged;
    };
    std::vector<Case> cases = {
        {"cycle",
         archiveOf({"$null", Value::Dictionary{{"NS.objects", Value::Array{uid(1)}}, {"$class", uid(2)}},
                    arrayClass}),
         "refers to itself"},
        {"dangling",
         archiveOf({"$null", Value::Dictionary{{"NS.objects", Value::Array{uid(9)}}, {"$class", uid(2)}},
                    arrayClass}),
         "past the"},
        {"dangling root", archiveOf({"$null"}, 5), "past the"},
        {"keys not a list",
         archiveOf({"$null",
                    Value::Dictionary{{"NS.keys", "k"}, {"NS.objects", Value::Array{}}, {"$class", uid(2)}},
                    dictClass}),
         "no NS.keys"},
        {"key not text",
         archiveOf({"$null",
                    Value::Dictionary{{"NS.keys", Value::Array{uid(3)}},
                                      {"NS.objects", Value::Array{uid(3)}},
                                      {"$class", uid(2)}},
                    dictClass, int64_t{1}}),
         "not text"},
        {"counts differ",
         archiveOf(
             {"$null",
              Value::Dictionary{
                  {"NS.keys", Value::Array{}}, {"NS.objects", Value::Array{uid(0)}}, {"$class", uid(2)}},
              dictClass}),
         "keys for"},
        {"inline reference list",
         archiveOf(
             {"$null", Value::Dictionary{{"NS.objects", Value::Array{1}}, {"$class", uid(2)}}, arrayClass}),
         "other than references"},
        {"no class", archiveOf({"$null", Value::Dictionary{{"NS.objects", Value::Array{}}}}), "malformed"},
        {"class not a class",
         archiveOf({"$null", Value::Dictionary{{"NS.objects", Value::Array{}}, {"$class", uid(1)}}}),
         "malformed"},
        {"date without time",
         archiveOf({"$null", Value::Dictionary{{"$class", uid(2)}}, classInfo("NSDate", {"NSDate"})}),
         "malformed"},
        {"not an archive",
         *plat::PropertyList::serialize(Value(Value::Dictionary{{"$archiver", "other"}}),
                                        plat::PropertyList::Format::Binary),
         "not a keyed archive"},
        {"not a plist", plat::Bytes{'x', 'y'}, "not a property list"},
    };
    // A chain of lists nested past the depth limit.
    Value::Array chain{"$null"};
    for (int i = 1; i <= KeyedArchive::kMaxDepth + 5; ++i) {
        chain.push_back(Value::Dictionary{{"NS.objects", Value::Array{uid(i + 1)}}, {"$class", uid(0)}});
    }
    int64_t cls = static_cast<int64_t>(chain.size());
    for (size_t i = 1; i < chain.size(); ++i)
        *(*chain[i].dictionaryIf()->find("$class")).dictionaryIf()->find("CF$UID") = Value(cls);
    (*chain.back().dictionaryIf()->find("NS.objects")).arrayIf()->front() = uid(0);
    chain.push_back(arrayClass);
    cases.push_back({"too deep", archiveOf(chain), "nested deeper"});
    // Forty lists each holding the next twice: tiny on disk, 2^40 values when expanded.
    Value::Array bomb{"$null"};
    for (int i = 1; i <= 40; ++i)
        bomb.push_back(
            Value::Dictionary{{"NS.objects", Value::Array{uid(i + 1), uid(i + 1)}}, {"$class", uid(42)}});
    bomb.push_back("leaf");
    bomb.push_back(arrayClass);
    cases.push_back({"expansion", archiveOf(bomb), "more than"});

    for (const Case& c : cases) {
        plat::LogCapture capture;
        EXPECT_FALSE(KeyedArchive::unarchiveValue(c.bytes)) << c.name;
        EXPECT_TRUE(capture.contains(c.logged)) << c.name;
    }
}

TEST_F(KeyedArchiveTest, ObjectCyclesFailBothWays) {
    auto loop = std::make_shared<Link>();
    loop->next = loop;
    plat::LogCapture capture;
    EXPECT_FALSE(KeyedArchive::archive(loop));
    EXPECT_TRUE(capture.contains("refers to itself"));
    loop->next = nullptr;  // break the reference cycle so the object is freed

    auto bytes = archiveOf({"$null", Value::Dictionary{{"next", uid(1)}, {"$class", uid(2)}},
                            classInfo("TestLink", {"TestLink", "NSObject"})});
    capture.clear();
    EXPECT_FALSE(KeyedArchive::unarchiveObject(bytes.data(), bytes.size()));
    EXPECT_TRUE(capture.contains("refers to itself"));

    // A chain is fine.
    auto a = std::make_shared<Link>();
    a->next = std::make_shared<Link>();
    auto chained = KeyedArchive::archive(a);
    ASSERT_TRUE(chained);
    auto back = KeyedArchive::unarchiveObject<Link>(*chained);
    ASSERT_TRUE(back && back->next);
    EXPECT_FALSE(back->next->next);
}

TEST_F(KeyedArchiveTest, FilesAreWrittenWholeAndMissingOnesReadQuietly) {
    testsupport::TempDir dir;
    auto settings = std::make_shared<Settings>();
    settings->device = "D";
    ASSERT_TRUE(KeyedArchive::archiveToFile(dir.path() / "cache.dat_A", settings));
    auto back = std::dynamic_pointer_cast<Settings>(
        KeyedArchive::unarchiveObjectFromFile(dir.path() / "cache.dat_A"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->device, "D");

    plat::LogCapture capture;
    EXPECT_FALSE(KeyedArchive::unarchiveObjectFromFile(dir.path() / "missing"));
    EXPECT_TRUE(capture.lines().empty());
    testsupport::writeFile(dir.path() / "junk", "junk");
    EXPECT_FALSE(KeyedArchive::unarchiveObjectFromFile(dir.path() / "junk"));
    EXPECT_FALSE(capture.lines().empty());
}

TEST(ClassRegistry, LooksUpByNameAndInterface) {
    struct Provider {
        virtual ~Provider() = default;
        virtual std::string id() const { return "X"; }
    };
    ClassRegistry registry;
    EXPECT_FALSE(registry.provider<Provider>("ZAVActualAdIdAccess"));
    registry.registerProvider<Provider>("ZAVActualAdIdAccess", std::make_shared<Provider>());
    ASSERT_TRUE(registry.provider<Provider>("ZAVActualAdIdAccess"));
    EXPECT_EQ(registry.provider<Provider>("ZAVActualAdIdAccess")->id(), "X");
    // Registered for another interface: not found, as a class that does not adopt the protocol.
    EXPECT_FALSE(registry.provider<Coding>("ZAVActualAdIdAccess"));
    EXPECT_FALSE(registry.create<Provider>("ZAVActualAdIdAccess"));

    int made = 0;
    registry.registerFactory<Provider>("Made", [&made] {
        ++made;
        return std::make_shared<Provider>();
    });
    EXPECT_NE(registry.create<Provider>("Made"), registry.create<Provider>("Made"));
    EXPECT_EQ(made, 2);
    {
        ClassRegistry::Scoped scoped(registry, "Made");
        EXPECT_TRUE(registry.contains("Made"));
    }
    EXPECT_FALSE(registry.contains("Made"));
    EXPECT_FALSE(registry.unregister("Made"));
}
