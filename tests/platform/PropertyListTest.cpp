#include <gtest/gtest.h>

#include "platform/base/Log.h"
#include "platform/storage/PropertyList.h"
#include "tests/support/TestSupport.h"

using plat::PropertyList;
using plat::Value;
using Format = PropertyList::Format;

namespace {

Value sample() {
    return Value(Value::Dictionary{
        {"zeta", true},
        {"alpha", int64_t{-5}},
        {"big", int64_t{1} << 40},
        {"real", 2.5},
        {"text", "ぽてまる & <friends>"},
        {"bytes", plat::Bytes{0, 255, 10}},
        {"date", Value::Date{1767225600.0}},
        {"list", Value::Array{1, "two", Value::Array{}, Value::Dictionary{}}},
        {"nested", Value::Dictionary{{"metadata", Value::Dictionary{{"version", 1}}}}},
    });
}

// A binary property list from objects (each given as its encoded bytes) with 1-byte offsets and references.
std::string binaryPlist(const std::vector<std::string>& objects, uint8_t root = 0) {
    std::string out = "bplist00";
    std::vector<uint8_t> offsets;
    for (const auto& o : objects) {
        offsets.push_back(static_cast<uint8_t>(out.size()));
        out += o;
    }
    size_t table = out.size();
    for (uint8_t o : offsets) out += static_cast<char>(o);
    std::string trailer(32, '\0');
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = static_cast<char>(objects.size());
    trailer[23] = static_cast<char>(root);
    trailer[31] = static_cast<char>(table);
    return out + trailer;
}

std::optional<Value> parse(const std::string& bytes) {
    return PropertyList::parse(bytes.data(), bytes.size());
}

}  // namespace

TEST(PropertyList, RoundTripsEveryKindInBothFormats) {
    for (Format format : {Format::Xml, Format::Binary}) {
        auto bytes = PropertyList::serialize(sample(), format);
        ASSERT_TRUE(bytes);
        Format detected = format == Format::Xml ? Format::Binary : Format::Xml;
        auto back = PropertyList::parse(bytes->data(), bytes->size(), &detected);
        ASSERT_TRUE(back);
        EXPECT_EQ(detected, format);
        EXPECT_EQ(*back, sample());
        EXPECT_EQ(back->dictionaryIf()->keys(), sample().dictionaryIf()->keys());  // order kept
    }
}

TEST(PropertyList, ReadsHandWrittenXml) {
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <!-- a comment with </dict> inside -->
  <key>filenames</key><dict><key>a.png</key><string>b.png</string></dict>
  <key>flag</key><false/>
  <key>when</key><date>2001-01-01T00:00:10Z</date>
  <key>empty</key><array/>
</dict>
</plist>)";
    auto v = parse(xml);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->operator[]("filenames")["a.png"].toString(), "b.png");
    EXPECT_EQ(*v->operator[]("flag").boolIf(), false);
    EXPECT_EQ(v->operator[]("when").dateIf()->secondsSince1970, 978307210.0);
    EXPECT_TRUE(v->operator[]("empty").arrayIf()->empty());
}

TEST(PropertyList, UniqueIdsTravelAsReferenceDictionaries) {
    Value archive(Value::Dictionary{{"$top", Value::Dictionary{{"root", Value::Dictionary{{"CF$UID", 3}}}}}});
    auto bytes = PropertyList::serialize(archive, Format::Binary);
    ASSERT_TRUE(bytes);
    auto back = PropertyList::parse(bytes->data(), bytes->size());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, archive);
}

TEST(PropertyList, RefusesWhatHasNoPropertyListForm) {
    plat::LogCapture capture;
    EXPECT_FALSE(PropertyList::serialize(Value(), Format::Xml));
    EXPECT_FALSE(PropertyList::serialize(Value(Value::Array{1, Value()}), Format::Binary));
    EXPECT_FALSE(PropertyList::serialize(Value(std::string("a\0b", 3)), Format::Xml));
    EXPECT_FALSE(PropertyList::serialize(Value(Value::Date{1e300}), Format::Binary));
    // Text that is not UTF-8 would be mangled by the binary encoder.
    EXPECT_FALSE(PropertyList::serialize(Value(Value::Dictionary{{"\x85key", 1}}), Format::Binary));
    EXPECT_FALSE(PropertyList::serialize(Value("\xed\xa0\x80"), Format::Xml));
    EXPECT_TRUE(PropertyList::serialize(Value("ぽてまる \xf0\x9f\x8d\x99"), Format::Binary));
    EXPECT_EQ(capture.lines().size(), 6u);
}

TEST(PropertyList, MalformedInputGivesNothingAndALogLine) {
    auto good = PropertyList::serialize(sample(), Format::Binary).value();
    std::string binary(good.begin(), good.end());
    auto xmlBytes = PropertyList::serialize(sample(), Format::Xml).value();
    std::string xml(xmlBytes.begin(), xmlBytes.end());

    std::vector<std::string> broken = {
        "",
        "not a property list at all",
        "bplist00",
        binary.substr(0, binary.size() / 2),
        binary.substr(0, binary.size() - 1),
        xml.substr(0, xml.size() / 2),
        binaryPlist({std::string("\xA1\x00", 2)}),               // an array that holds itself
        binaryPlist({std::string("\xA1\x05", 2)}),               // a reference past the objects
        binaryPlist({std::string("\xAF\x10\xFF", 3) + "\x00"}),  // more elements than bytes
        // A dictionary whose key text holds a NUL character.
        binaryPlist({std::string("\xD1\x01\x02", 3),
                     std::string("\x52"
                                 "a\0",
                                 3),
                     std::string("\x10\x01", 2)}),
    };
    std::string deepXml = "<plist>";
    for (int i = 0; i < 100000; ++i) deepXml += "<array>";
    broken.push_back(deepXml);

    for (const std::string& bytes : broken) {
        plat::LogCapture capture;
        EXPECT_FALSE(parse(bytes)) << bytes.size() << " bytes";
        EXPECT_FALSE(capture.lines().empty());
    }
}

TEST(PropertyList, SharedObjectsThatWouldExpandWithoutBoundAreRefused) {
    // Each array holds the next one twice: 60 objects stand for 2^60 nodes once expanded.
    std::vector<std::string> objects;
    for (int i = 0; i < 59; ++i) objects.push_back(std::string("\xA2", 1) + char(i + 1) + char(i + 1));
    objects.push_back(std::string("\x10\x07", 2));
    plat::LogCapture capture;
    EXPECT_FALSE(parse(binaryPlist(objects)));
    EXPECT_TRUE(capture.contains("too large"));

    // A shallow share stays readable.
    auto ok = parse(binaryPlist({std::string("\xA2\x01\x01", 3), std::string("\x10\x07", 2)}));
    ASSERT_TRUE(ok);
    EXPECT_EQ(*ok, Value(Value::Array{7, 7}));
}

TEST(PropertyList, FilesAreWrittenAtomicallyAndReadBack) {
    testsupport::TempDir dir;
    auto file = dir.path() / "out.plist";
    ASSERT_TRUE(PropertyList::writeFile(file, sample()));
    EXPECT_NE(testsupport::readFile(file).find("<plist"), std::string::npos);
    EXPECT_EQ(PropertyList::readFile(file).value(), sample());

    plat::LogCapture capture;
    EXPECT_FALSE(PropertyList::writeFile(file, Value()));
    EXPECT_EQ(PropertyList::readFile(file).value(), sample());  // the failed write changed nothing
    EXPECT_FALSE(PropertyList::readFile(dir.path() / "missing.plist"));
    EXPECT_FALSE(PropertyList::readFile(dir.path()));
}
