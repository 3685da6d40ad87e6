#include "TestMessages.h"
#include "WireTestSupport.h"

namespace {

class Extension : public ::testing::Test {
  protected:
    void SetUp() override { WTRegisterClasses(); }
};

// A second extension object for number 150 of the same message.
constexpr ZAVWireExtensionDescription kOther150 = {
    "WTOther_single", ZAVWireTypeSInt32, "WTExtendable", 150, {}, nullptr, 0, nullptr};

}  // namespace

TEST_F(Extension, WriteOrderIsFieldsAndRangesByNumberThenUnknown) {
    auto e = WTExtendable::message();
    e->setLast(3);
    e->mutableUnknownFields().mergeVarintField(2, 9);
    e->setExtension(WTRoot::single(), ZAVWireNumber::withInt32(5));
    e->setFirst(1);
    EXPECT_EQ(toHex(*e->data()), "08 01 B0 09 05 C0 0C 03 10 09");
    EXPECT_EQ(e->serializedSize(), 10u);
    auto back = WTExtendable::parseFromData(e->data(), WTRoot::extensionRegistry());
    EXPECT_TRUE(back->isEqual(e.get()));
    // Without the registry the extension comes back as an unknown field and writes the same bytes.
    auto bare = WTExtendable::parseFromData(e->data());
    EXPECT_FALSE(bare->hasExtension(WTRoot::single()));
    EXPECT_TRUE(bare->unknownFields()->hasField(150));
    EXPECT_EQ(toHex(*bare->data()), "08 01 C0 0C 03 10 09 B0 09 05");
}

TEST_F(Extension, ClearingOneOfSeveralKeepsTheOthers) {
    auto e = WTExtendable::message();
    e->addExtension(WTRoot::strings(), ZAVWireString::create("a"));
    e->setExtension(WTRoot::single(), ZAVWireNumber::withInt32(5));
    std::static_pointer_cast<WTNode>(e->getExtension(WTRoot::node()))->setValue(2);
    e->clearExtension(WTRoot::strings());
    EXPECT_FALSE(e->hasExtension(WTRoot::strings()));
    EXPECT_EQ(e->extensionsCurrentlySet().size(), 2u);
    EXPECT_EQ(toHex(*e->data()), "B0 09 05 D2 09 02 08 02");
    e->clearExtension(WTRoot::single());
    EXPECT_EQ(toHex(*e->data()), "D2 09 02 08 02");
    EXPECT_TRUE(e->messageCopy()->isEqual(e.get()));
}

TEST_F(Extension, ShapesRoundTrip) {
    auto e = WTExtendable::message();
    e->addExtension(WTRoot::strings(), ZAVWireString::create("a"));
    e->addExtension(WTRoot::strings(), ZAVWireString::create("b"));
    e->addExtension(WTRoot::packed(), ZAVWireNumber::withInt32(300));
    e->addExtension(WTRoot::packed(), ZAVWireNumber::withInt32(-1));
    auto group = WTNode::message();
    group->setValue(1);
    e->setExtension(WTRoot::group(), group);
    std::static_pointer_cast<WTNode>(e->getExtension(WTRoot::node()))->setValue(2);  // made on read, then set
    EXPECT_TRUE(e->hasExtension(WTRoot::node()));
    EXPECT_EQ(toHex(*e->data()),
              "BA 09 01 61 BA 09 01 62 C2 09 0C AC 02 FF FF FF FF FF FF FF FF FF 01 CB 09 08 01 CC 09 D2 09 "
              "02 08 02");
    auto back = WTExtendable::parseFromData(e->data(), WTRoot::extensionRegistry());
    EXPECT_TRUE(back->isEqual(e.get()));
    EXPECT_EQ(back->sortedExtensionsInUse().size(), 4u);
    EXPECT_EQ(back->sortedExtensionsInUse()[0]->fieldNumber(), 151u);
    // An empty packed list still writes its tag and a zero length.
    auto empty = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject);
    EXPECT_EQ(WTRoot::packed().computeSerializedSizeIncludingTag(empty), 3u);
    auto out = ZAVWireData::withLength(3);
    {
        ZAVWireCodedOutputStream o(nullptr, out);
        WTRoot::packed().writeValue(empty, o);
    }
    EXPECT_EQ(toHex(*out), "C2 09 00");
}

TEST_F(Extension, MisuseAndDefaults) {
    auto e = WTExtendable::message();
    EXPECT_EQ(std::static_pointer_cast<ZAVWireNumber>(e->getExtension(WTRoot::single()))->intValue(), -3);
    EXPECT_EQ(raised([&] { e->addExtension(WTRoot::single(), ZAVWireNumber::withInt32(1)); }),
              "NSInvalidArgumentException|Must call setExtension() for singular types.");
    EXPECT_EQ(raised([&] { e->setExtension(WTRoot::strings(), ZAVWireString::create("x")); }),
              "NSInvalidArgumentException|Must call addExtension() for repeated types.");
    EXPECT_EQ(raised([&] { WTNode::message()->getExtension(WTRoot::single()); }),
              "NSInvalidArgumentException|Extension WTRoot_single used on wrong class (WTNode instead of "
              "WTExtendable)");
    EXPECT_EQ(raised([&] { WTRoot::node().defaultValue(); }),
              "NSInternalInconsistencyException|-defaultValue called for a message extension");
    e->setExtension(WTRoot::single(), ZAVWireNumber::withInt32(1));
    e->setExtension(WTRoot::single(), nullptr);
    EXPECT_FALSE(e->hasExtension(WTRoot::single()));
    // Reading an extension sub-message creates nothing visible.
    (void)e->getExtension(WTRoot::node());
    EXPECT_EQ(e->serializedSize(), 0u);
    EXPECT_EQ(WTRoot::single().description(),
              ZAVWireFormat("<ZAVWireExtensionField %p> FieldNumber:150 ContainingType:WTExtendable",
                            static_cast<const void*>(&WTRoot::single())));
}

TEST_F(Extension, RegistryAndGlobalTable) {
    auto single = std::static_pointer_cast<const ZAVWireExtensionField>(WTRoot::single().shared_from_this());
    ZAVWireExtensionRegistry a;
    a.addExtension(single);
    a.addExtension(single);
    EXPECT_EQ(a.count(), 1u);
    EXPECT_EQ(a.getExtension(WTNode::descriptor(), 150), nullptr);
    auto other = std::make_shared<ZAVWireExtensionField>(&kOther150);
    ZAVWireExtensionRegistry b;
    b.addExtension(other);
    a.addExtensions(&b);
    EXPECT_EQ(a.getExtension(WTExtendable::descriptor(), 150), other.get());
    EXPECT_EQ(ZAVWireExtensionKeyHash(""), 0u);
    EXPECT_EQ(ZAVWireExtensionKeyHash("a"), 0xCA2E9442u);
    (void)WTRoot::extensionRegistry();
    EXPECT_EQ(ZAVWireGlobalExtensionNamed("WTRoot_node").get(), &WTRoot::node());
    EXPECT_EQ(ZAVWireGlobalExtensionNamed("WTRoot_none"), nullptr);
}

TEST_F(Extension, MergeFromCombinesExtensions) {
    auto a = WTExtendable::message();
    a->addExtension(WTRoot::strings(), ZAVWireString::create("a"));
    std::static_pointer_cast<WTNode>(a->getExtension(WTRoot::node()))->setValue(1);
    auto b = WTExtendable::message();
    b->addExtension(WTRoot::strings(), ZAVWireString::create("b"));
    std::static_pointer_cast<WTNode>(b->getExtension(WTRoot::node()))->setLabel(ZAVWireString::create("x"));
    a->mergeFrom(*b);
    EXPECT_EQ(std::static_pointer_cast<ZAVWireArray>(a->getExtension(WTRoot::strings()))->count(), 2u);
    auto node = std::static_pointer_cast<WTNode>(a->getExtension(WTRoot::node()));
    EXPECT_EQ(node->value(), 1);
    EXPECT_EQ(node->label()->utf8(), "x");
}

// Adding to, parsing into or changing a copy or a merge leaves the source's bytes as they were.
TEST_F(Extension, CopiesAndMergesLeaveTheSourceUnchanged) {
    const auto bytes = hexData("BA 09 01 61 C2 09 01 01 D2 09 02 08 01");
    auto source = WTExtendable::parseFromData(bytes, WTRoot::extensionRegistry());
    ZAVWireMessagePtr copy = source->messageCopy(), intoEmpty = WTExtendable::message(),
                      intoSet = WTExtendable::message();
    intoSet->setExtension(WTRoot::single(), ZAVWireNumber::withInt32(7));
    for (const auto& target : {copy, intoEmpty, intoSet}) {
        if (target != copy) {
            target->mergeFrom(*source);  // a merge takes copies of sub-messages too; a copy shares them
            std::static_pointer_cast<WTNode>(target->getExtension(WTRoot::node()))->setValue(2);
        }
        target->addExtension(WTRoot::strings(), ZAVWireString::create("b"));
        target->mergeFromData(bytes, WTRoot::extensionRegistry());
    }
    EXPECT_EQ(toHex(*source->data()), toHex(*bytes));
}
