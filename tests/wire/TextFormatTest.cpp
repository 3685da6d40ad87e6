#include "TestMessages.h"
#include "WireTestSupport.h"

namespace {

class TextFormat : public ::testing::Test {
  protected:
    void SetUp() override { WTRegisterClasses(); }
};

}  // namespace

TEST_F(TextFormat, EscapingAndUnknownFields) {
    auto n = WTNode::message();
    n->setValue(-4);
    n->setLabel(ZAVWireString::create("a\"b"));
    n->mutableUnknownFields().mergeVarintField(50, 300);
    n->mutableUnknownFields().getFieldBuilder(51, true)->addFixed32(255);
    EXPECT_EQ(ZAVWireTextFormatForMessage(n.get(), ""),
              "value: -4\n"
              "label: \"a\\\"b\"\n"
              "# --- Unknown fields ---\n"
              "50: 300\n"
              "51: 0xFF\n");
    auto all = WTAll::message();
    all->setOptionalBytes(ZAVWireData::create(hexBytes("41 0A 80")));
    all->setOptionalFloat(0.1f);
    all->setOptionalDouble(0.1);
    all->setOptionalBool(false);
    EXPECT_EQ(ZAVWireTextFormatForMessage(all.get(), "  "),
              "  optional_float: 0.1\n"
              "  optional_double: 0.1\n"
              "  optional_bool: false\n"
              "  optional_bytes: \"A\\n\\200\"\n");
}

TEST_F(TextFormat, NumberLabelsEnumNotesAndBlocks) {
    auto n = WTNode::message();
    n->setColor(static_cast<WTColor>(3));
    n->setCustomName(4);
    n->child()->setColor(WTColor_DeepBlue);
    n->nodesArray()->addObject(WTNode::message());
    n->nodesArray()->addObject(WTNode::message());
    EXPECT_EQ(ZAVWireTextFormatForMessage(n.get(), ""),
              "child {\n"
              "  color: DEEP_BLUE\n"
              "}\n"
              "color: 3  # EnumValueDescriptor names not generated\n"
              "nodes {\n"
              "}\n"
              "nodes {\n"
              "}\n"
              "7: 4  # customName\n");
    auto fresh = WTNode::message();
    EXPECT_EQ(fresh->description(),
              ZAVWireFormat("<WTNode %p>: {\n}", static_cast<const void*>(fresh.get())));
}

TEST_F(TextFormat, ExtensionsAndDescription) {
    auto e = WTExtendable::message();
    e->setFirst(1);
    std::static_pointer_cast<WTNode>(e->getExtension(WTRoot::node()))->setValue(2);
    e->addExtension(WTRoot::strings(), ZAVWireString::create("x"));
    e->addExtension(WTRoot::strings(), ZAVWireString::create("y"));
    e->setLast(3);
    EXPECT_EQ(e->description(), ZAVWireFormat("<WTExtendable %p>: {\n", static_cast<const void*>(e.get())) +
                                    "    first: 1\n"
                                    "    # [WTRoot_strings]\n"
                                    "    151: \"x\"\n"
                                    "    151: \"y\"\n"
                                    "    154 {  # [WTRoot_node]\n"
                                    "      value: 2\n"
                                    "    }\n"
                                    "    last: 3\n"
                                    "}");
}
