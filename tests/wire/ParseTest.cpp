#include "TestMessages.h"
#include "WireTestSupport.h"
#include "tests/support/TestSupport.h"
#include "wire/schema/ZAVPServing.h"

namespace {

class Parse : public ::testing::Test {
  protected:
    void SetUp() override { WTRegisterClasses(); }
};

std::shared_ptr<WTNode> node(const std::string& hex) {
    return WTNode::parseFromData(hexData(hex));
}

// Each level wraps the one inside as field 2 (child).
std::vector<uint8_t> nestedNodes(int depth) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < depth; ++i) {
        std::vector<uint8_t> outer = {0x12};
        size_t n = bytes.size();
        while (n >= 0x80) {
            outer.push_back(static_cast<uint8_t>(n | 0x80));
            n >>= 7;
        }
        outer.push_back(static_cast<uint8_t>(n));
        outer.insert(outer.end(), bytes.begin(), bytes.end());
        bytes = std::move(outer);
    }
    return bytes;
}

// Message-set items nested in items: 0B 10 05 1A <length> <inner set> 0C.
std::vector<uint8_t> nestedItems(int depth) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < depth; ++i) {
        std::vector<uint8_t> outer = {0x0B, 0x10, 0x05, 0x1A};
        size_t n = bytes.size();
        while (n >= 0x80) {
            outer.push_back(static_cast<uint8_t>(n | 0x80));
            n >>= 7;
        }
        outer.push_back(static_cast<uint8_t>(n));
        outer.insert(outer.end(), bytes.begin(), bytes.end());
        outer.push_back(0x0C);
        bytes = std::move(outer);
    }
    return bytes;
}

}  // namespace

TEST_F(Parse, ReverseOrderIsAccepted) {
    auto n = node("1A 01 61 08 05");
    EXPECT_EQ(n->value(), 5);
    EXPECT_EQ(n->label()->utf8(), "a");
    EXPECT_EQ(toHex(*n->data()), "08 05 1A 01 61");
}

TEST_F(Parse, WrongFormGoesToUnknownFields) {
    // Field 4 is packed: its unpacked elements are not field values.
    auto n = node("20 01 08 05");
    EXPECT_EQ(n->listArray()->count(), 0u);
    EXPECT_EQ(toHex(*n->data()), "08 05 20 01");
    // An enum value outside the enum stays unset and is kept as a varint.
    auto e = node("28 03 28 05");
    EXPECT_EQ(e->color(), WTColor_DeepBlue);
    EXPECT_EQ(toHex(*e->data()), "28 05 28 03");
    // Past the values checked by a bit set (0 to 63), the enum's own check decides.
    auto far = node("28 C8 01");
    EXPECT_FALSE(far->hasColor());
    EXPECT_EQ(toHex(*far->data()), "28 C8 01");
    auto packedEnum = WTAll::parseFromData(hexData("82 04 03 01 03 05"));  // field 64, packed: 1, 3, 5
    EXPECT_EQ(packedEnum->packedEnumArray()->count(), 2u);
    EXPECT_EQ(packedEnum->unknownFields()->getField(64)->varintList()->uint64AtIndex(0), 3u);
}

TEST_F(Parse, RepeatedSubMessageOccurrencesMerge) {
    auto n = node("12 04 08 01 1A 00 12 02 08 02");
    EXPECT_EQ(n->child()->value(), 2);
    EXPECT_TRUE(n->child()->hasLabel());
    EXPECT_EQ(toHex(*n->data()), "12 04 08 02 1A 00");
    // A sub-message someone else holds is not changed by a later occurrence.
    auto m = node("12 02 08 01");
    auto held = m->child();
    m->mergeFromData(hexData("12 02 08 07"));
    EXPECT_EQ(held->value(), 1);
    EXPECT_EQ(m->child()->value(), 7);
}

TEST_F(Parse, WhatAParseMadeOutlivesTheMessageItWasParsedInto) {
    auto root = node("08 05 12 02 08 07 1A 01 61 22 02 01 02 32 02 08 09");
    auto child = root->child();
    auto label = root->label();
    auto list = root->listArray();
    auto element = std::static_pointer_cast<WTNode>(root->nodesArray()->objectAtIndex(0));
    root.reset();
    // Grown after the parse, and parsed into again on its own.
    for (int32_t i = 3; i < 40; ++i) list->addInt32(i);
    child->mergeFromData(hexData("22 01 03 32 00"));
    EXPECT_EQ(list->int32AtIndex(1), 2);
    EXPECT_EQ(list->count(), 39u);
    EXPECT_EQ(label->utf8(), "a");
    EXPECT_EQ(element->value(), 9);
    EXPECT_EQ(toHex(*child->data()), "08 07 22 01 03 32 00");
    // The same for a sub-message's extension and a list in it.
    auto registry = std::make_shared<ZAVWireExtensionRegistry>();
    registry->addExtension(
        std::static_pointer_cast<const ZAVWireExtensionField>(ZAVPServingValue::ext().shared_from_this()));
    auto resource = ZAVPResource::parseFromData(hexData("12 09 08 02 AA 06 04 08 01 08 02"), registry.get());
    auto value = std::static_pointer_cast<ZAVPValue>(resource->valueArray()->objectAtIndex(0));
    resource.reset();
    auto serving = std::static_pointer_cast<ZAVPServingValue>(value->getExtension(ZAVPServingValue::ext()));
    for (int32_t i = 3; i < 40; ++i) serving->listItemArray()->addInt32(i);
    EXPECT_EQ(serving->listItemArray()->int32AtIndex(1), 2);
    EXPECT_EQ(serving->listItemArray()->count(), 39u);
    EXPECT_EQ(value->data()->length(), 83u);
}

TEST_F(Parse, ASubMessageReadsAsAnOutermostOneDoes) {
    // Sub-messages are read on a path of their own; each shape must come out as it does at the top.
    auto wrap = [](const std::string& tag, const std::string& hex) {
        return tag + ZAVWireFormat(" %02zX ", hexBytes(hex).size()) + hex;
    };
    for (std::string hex : {"1A 01 61 08 05", "20 01 08 05", "28 03 28 05", "12 04 08 01 1A 00 12 02 08 02",
                            "08 01 08 02 1A 01 61 1A 01 62", "22 00 22 02 01 02 32 00 32 02 08 03 28 02"}) {
        auto top = node(hex);
        auto child = node(wrap("12", hex))->child();
        auto element =
            std::static_pointer_cast<WTNode>(node(wrap("32", hex))->nodesArray()->objectAtIndex(0));
        for (const auto& sub : {child, element}) {
            EXPECT_EQ(toHex(*sub->data()), toHex(*top->data())) << hex;
            EXPECT_TRUE(sub->isEqual(top.get())) << hex;
        }
    }
    // An extension sub-message given twice merges, as a field would.
    auto registry = std::make_shared<ZAVWireExtensionRegistry>();
    registry->addExtension(
        std::static_pointer_cast<const ZAVWireExtensionField>(ZAVPServingValue::ext().shared_from_this()));
    std::string value = "08 02 AA 06 02 08 01 AA 06 02 08 02";
    auto resource = ZAVPResource::parseFromData(hexData(wrap("12", value)), registry.get());
    auto parsed = std::static_pointer_cast<ZAVPValue>(resource->valueArray()->objectAtIndex(0));
    EXPECT_EQ(toHex(*parsed->data()), "08 02 AA 06 04 08 01 08 02");
    EXPECT_TRUE(parsed->isEqual(ZAVPValue::parseFromData(hexData(value), registry.get()).get()));
}

TEST_F(Parse, ARunOfListElementsInASubMessageReadsWhole) {
    // A run longer than the room a list gets at first, one- and two-byte values, then more of the same list
    // after another field.
    std::vector<uint8_t> rule;
    auto add = [&](uint8_t tag, uint32_t v) {
        rule.push_back(tag);
        for (; v >= 0x80; v >>= 7) rule.push_back(static_cast<uint8_t>(v | 0x80));
        rule.push_back(static_cast<uint8_t>(v));
    };
    for (uint32_t i = 0; i < 70; ++i) add(0x18, i * 5);
    add(0x10, 7);
    add(0x18, 1000);
    add(0x18, 1);
    std::vector<uint8_t> resource = {0x3A, static_cast<uint8_t>(0x80 | (rule.size() & 0x7F)),
                                     static_cast<uint8_t>(rule.size() >> 7)};
    resource.insert(resource.end(), rule.begin(), rule.end());
    auto parsed = ZAVPResource::parseFromData(ZAVWireData::create(resource));
    auto sub = std::static_pointer_cast<ZAVPRule>(parsed->ruleArray()->objectAtIndex(0));
    auto list = sub->addTagArray();
    ASSERT_EQ(list->count(), 72u);
    EXPECT_EQ(list->int32AtIndex(69), 345);
    EXPECT_EQ(list->int32AtIndex(70), 1000);
    EXPECT_EQ(sub->negativePredicateArray()->int32AtIndex(0), 7);
    auto top = ZAVPRule::parseFromData(ZAVWireData::create(rule));
    EXPECT_TRUE(sub->isEqual(top.get()));
    EXPECT_EQ(toHex(*sub->data()), toHex(*top->data()));
}

TEST_F(Parse, LongListsFilledSideBySideKeepEveryElement) {
    // 70 nodes, each holding 40 nodes of its own: the lists of a sub-message grow in turns.
    auto field = [](uint8_t tag, const std::vector<uint8_t>& body, std::vector<uint8_t>& out) {
        out.push_back(tag);
        for (size_t n = body.size(); true; n >>= 7) {
            out.push_back(static_cast<uint8_t>(n >= 0x80 ? (n & 0x7F) | 0x80 : n));
            if (n < 0x80) break;
        }
        out.insert(out.end(), body.begin(), body.end());
    };
    std::vector<uint8_t> outer, wrapped;
    for (uint8_t i = 0; i < 70; ++i) {
        std::vector<uint8_t> element = {0x08, i};
        for (uint8_t k = 0; k < 40; ++k) field(0x32, {0x08, k}, element);
        field(0x32, element, outer);
    }
    field(0x12, outer, wrapped);
    auto parsed = WTNode::parseFromData(ZAVWireData::create(wrapped))->child();
    ASSERT_EQ(parsed->nodesArray()->count(), 70u);
    for (size_t i = 0; i < 70; ++i) {
        auto element = std::static_pointer_cast<WTNode>(parsed->nodesArray()->objectAtIndex(i));
        EXPECT_EQ(element->value(), static_cast<int32_t>(i));
        ASSERT_EQ(element->nodesArray()->count(), 40u);
        EXPECT_EQ(std::static_pointer_cast<WTNode>(element->nodesArray()->objectAtIndex(39))->value(), 39);
    }
    EXPECT_TRUE(parsed->isEqual(WTNode::parseFromData(ZAVWireData::create(outer)).get()));
}

TEST_F(Parse, StructuralFailures) {
    EXPECT_EQ(raised([] { node("08 01 0C"); }), "NSParseErrorException|Last tag: 12 should be 0");
    EXPECT_EQ(raised([] { node("12 03 12 05 00"); }),
              "NSInvalidArgumentException|byteLimit > oldLimit: 9 > 5");
    EXPECT_EQ(raised([] { node("12 02 0C 00"); }), "NSParseErrorException|Last tag: 12 should be 0");
    EXPECT_EQ(raised([] { node("1A 05 61"); }), "NSParseErrorException|");
    EXPECT_EQ(raised([] { WTAll::parseFromData(hexData("7A FF FF FF FF 0F")); }), "NSParseErrorException|");
    EXPECT_EQ(raised([] { WTAll::parseFromData(hexData("83 01 88 01 01 84 01")); }),
              "");  // group 16 holding a=1
}

TEST_F(Parse, NestingStopsAt64ForMessagesItemsAndDirectExtensions) {
    EXPECT_EQ(raised([] { WTNode::parseFromData(ZAVWireData::create(nestedNodes(64))); }), "");
    EXPECT_EQ(raised([] { WTNode::parseFromData(ZAVWireData::create(nestedNodes(65))); }),
              "NSParseErrorException|recursionDepth(64) >= 64");
    auto* registry = WTRoot::extensionRegistry();
    EXPECT_EQ(raised([&] { WTMessageSet::parseFromData(ZAVWireData::create(nestedItems(64)), registry); }),
              "");
    EXPECT_EQ(raised([&] { WTMessageSet::parseFromData(ZAVWireData::create(nestedItems(65)), registry); }),
              "NSParseErrorException|recursionDepth(64) >= 64");
    std::vector<uint8_t> direct;
    for (int i = 0; i < 64; ++i) direct.insert(direct.end(), {0xDA, 0x09});
    EXPECT_EQ(raised([&] { WTExtendable::parseFromData(ZAVWireData::create(direct), registry); }), "");
    direct.insert(direct.end(), {0xDA, 0x09});
    EXPECT_EQ(raised([&] { WTExtendable::parseFromData(ZAVWireData::create(direct), registry); }),
              "NSParseErrorException|recursionDepth(64) >= 64");
}

TEST_F(Parse, MessageSetItems) {
    auto* registry = WTRoot::extensionRegistry();
    auto known = WTMessageSet::parseFromData(hexData("0B 10 05 1A 00 0C"), registry);
    EXPECT_TRUE(known->hasExtension(WTRoot::setItem()));
    EXPECT_STREQ(known->getExtension(WTRoot::setItem())->className(), "WTMessageSet");
    auto unknown = WTMessageSet::parseFromData(hexData("0B 10 07 1A 01 08 0C"));
    EXPECT_EQ(toHex(*unknown->data()), "0B 10 07 1A 01 08 0C");
    auto dropped = WTMessageSet::parseFromData(hexData("0B 10 07 0C"));
    EXPECT_EQ(dropped->serializedSize(), 0u);
}

TEST_F(Parse, MergeFrom) {
    auto a = node("08 01 12 02 08 01 22 01 01");
    auto b = node("12 02 1A 00 22 01 02 08 09");
    a->mergeFrom(*b);
    EXPECT_EQ(a->value(), 9);
    EXPECT_EQ(a->child()->value(), 1);
    EXPECT_TRUE(a->child()->hasLabel());
    EXPECT_EQ(a->listArray()->count(), 2u);
    EXPECT_EQ(raised([&] { a->mergeFrom(*WTRequired::message()); }),
              "NSInvalidArgumentException|Classes must match WTNode != WTRequired");
    a->mergeFrom(*a);
    EXPECT_EQ(a->listArray()->count(), 4u);
}

TEST_F(Parse, EveryTypeRoundTrips) {
    auto m = WTAll::message();
    m->setOptionalInt32(-1);
    m->setOptionalInt64(INT64_MIN);
    m->setOptionalUint32(UINT32_MAX);
    m->setOptionalUint64(UINT64_MAX);
    m->setOptionalSint32(-2);
    m->setOptionalSint64(INT64_MIN);
    m->setOptionalFixed32(7);
    m->setOptionalFixed64(8);
    m->setOptionalSfixed32(-9);
    m->setOptionalSfixed64(-10);
    m->setOptionalFloat(1.5f);
    m->setOptionalDouble(-0.25);
    m->setOptionalBool(true);
    m->setOptionalString(ZAVWireString::create("h\xC3\xA9"));
    m->setOptionalBytes(ZAVWireData::create(std::string("\0\1", 2)));
    m->optionalGroup()->setA(3);
    m->optionalMessage()->setValue(4);
    m->setOptionalEnum(5);
    for (size_t i = 18; i < WTAll::descriptor()->fieldCount(); ++i) {
        const auto& f = *WTAll::descriptor()->fieldAt(i);
        auto array = m->getArray(f);
        switch (f.valueType()) {
            case ZAVWireArrayValueTypeObject:
                if (f.type() == ZAVWireTypeString) array->addObject(ZAVWireString::create("s"));
                if (f.type() == ZAVWireTypeData) array->addObject(ZAVWireData::create("d"));
                if (f.type() == ZAVWireTypeGroup) array->addObject(WTGroup::message());
                if (f.type() == ZAVWireTypeMessage) array->addObject(WTNode::message());
                break;
            case ZAVWireArrayValueTypeBool:
                array->addBool(true);
                break;
            case ZAVWireArrayValueTypeFloat:
                array->addFloat(-1.0f);
                break;
            case ZAVWireArrayValueTypeDouble:
                array->addDouble(2.0);
                break;
            case ZAVWireArrayValueTypeInt32:
                array->addInt32(f.type() == ZAVWireTypeEnum ? 2 : -5);
                array->addInt32(1);
                break;
            case ZAVWireArrayValueTypeUInt32:
                array->addUInt32(300);
                break;
            case ZAVWireArrayValueTypeInt64:
                array->addInt64(-1);
                break;
            case ZAVWireArrayValueTypeUInt64:
                array->addUInt64(1ull << 63);
                break;
        }
    }
    auto data = m->data();
    EXPECT_EQ(data->length(), m->serializedSize());
    auto back = WTAll::parseFromData(data);
    EXPECT_TRUE(back->isEqual(m.get()));
    EXPECT_EQ(back->unknownFields(), nullptr);
    EXPECT_EQ(toHex(*back->data()), toHex(*data));
    auto delimited = m->delimitedData();
    ZAVWireCodedInputStream input(delimited);
    EXPECT_TRUE(WTAll::parseDelimitedFromCodedInputStream(input, nullptr)->isEqual(m.get()));
}

TEST_F(Parse, FilesAndFailedWrites) {
    testsupport::TempDir dir;
    auto m = WTNode::message();
    m->setLabel(ZAVWireString::create(std::string(10000, 'x')));
    m->child()->setValue(1);
    auto path = (dir.path() / "node.bin").string();
    m->writeToOutputStream(plat::OutputStream::toFile(path));
    auto back = WTNode::parseFromData(ZAVWireData::create(testsupport::readFile(path)));
    EXPECT_TRUE(back->isEqual(m.get()));
    EXPECT_EQ(raised([&] { m->writeToOutputStream(plat::OutputStream::toFile("/dev/full")); }),
              "WriteFailed|");
}
