#include <thread>

#include "TestMessages.h"
#include "WireTestSupport.h"

namespace {

class Message : public ::testing::Test {
  protected:
    void SetUp() override { WTRegisterClasses(); }
};

}  // namespace

TEST_F(Message, ReadingAChainSetsNothing) {
    auto a = WTNode::message();
    auto c = a->child()->child();
    EXPECT_FALSE(a->hasChild());
    EXPECT_FALSE(a->child()->hasChild());
    EXPECT_EQ(a->serializedSize(), 0u);
    EXPECT_EQ(a->data()->length(), 0u);
    EXPECT_EQ(a->child(), a->child());  // the same object on every read
    c->setValue(7);
    EXPECT_TRUE(a->hasChild());
    EXPECT_TRUE(a->child()->hasChild());
    EXPECT_EQ(toHex(*a->data()), "12 04 12 02 08 07");
}

TEST_F(Message, RepeatedFieldsAreMadeOnReadAndSetOnFirstAdd) {
    auto n = WTNode::message();
    auto list = n->listArray();
    EXPECT_EQ(list, n->listArray());
    EXPECT_EQ(list->count(), 0u);
    EXPECT_FALSE(n->hasListArray());
    EXPECT_EQ(n->serializedSize(), 0u);
    list->addInt32(300);
    EXPECT_TRUE(n->hasListArray());
    EXPECT_EQ(toHex(*n->data()), "22 02 AC 02");
    // A repeated field of a sub-message made on read makes the whole chain visible.
    auto top = WTNode::message();
    top->child()->listArray()->addInt32(1);
    EXPECT_TRUE(top->hasChild());
    // An immutable array is stored as a copy; later changes to it do not reach the message.
    auto given = ZAVWireArray::arrayWithInt32(5);
    n->setListArray(given);
    EXPECT_NE(n->listArray().get(), given.get());
    n->setListArray(nullptr);
    EXPECT_FALSE(n->hasListArray());
    EXPECT_EQ(raised([&] { n->setListArray(ZAVWireArray::arrayWithObject(ZAVWireString::create("x"))); }),
              "NSInvalidArgumentException|Trying to set array setListArray: to non mutable array");
}

TEST_F(Message, DefaultsAndHasClear) {
    auto n = WTNode::message();
    EXPECT_EQ(n->color(), WTColor_Red);
    EXPECT_FALSE(n->hasColor());
    EXPECT_EQ(n->label(), ZAVWireString::empty());
    n->setLabel(ZAVWireString::create("x"));
    EXPECT_TRUE(n->hasLabel());
    n->setLabel(nullptr);
    EXPECT_FALSE(n->hasLabel());
    n->setValue(3);
    EXPECT_EQ(raised([&] { n->setHasValue(true); }),
              "NSInvalidArgumentException|has fields can only be set to NO");
    EXPECT_TRUE(n->hasValue());
    n->setHasValue(false);
    EXPECT_FALSE(n->hasValue());
    EXPECT_EQ(n->value(), 0);
    // Clearing an unset sub-message made on read leaves it in place; replacing it detaches it.
    auto sub = n->child();
    n->setHasChild(false);
    EXPECT_EQ(n->child(), sub);
    n->setChild(WTNode::message());
    sub->setValue(1);
    EXPECT_FALSE(n->child()->hasValue());
}

TEST_F(Message, IsInitialized) {
    auto r = WTRequired::message();
    EXPECT_FALSE(r->isInitialized());
    r->setId_p(1);
    EXPECT_TRUE(r->isInitialized());
    (void)r->sub();  // read only: never tested
    EXPECT_TRUE(r->isInitialized());
    r->sub()->setSub(WTRequired::message());
    EXPECT_FALSE(r->isInitialized());
    r->sub()->setId_p(2);
    r->sub()->sub()->setId_p(3);
    EXPECT_TRUE(r->isInitialized());
    r->itemsArray()->addObject(WTRequired::message());
    EXPECT_FALSE(r->isInitialized());
}

TEST_F(Message, CopiesShareSubMessagesNotArrays) {
    auto n = WTNode::message();
    n->child()->setValue(1);
    n->listArray()->addInt32(1);
    n->mutableUnknownFields().mergeVarintField(9, 9);
    auto copy = std::static_pointer_cast<WTNode>(n->copy());
    EXPECT_TRUE(copy->isEqual(n.get()));
    EXPECT_EQ(copy->child(), n->child());
    copy->listArray()->addInt32(2);
    EXPECT_EQ(n->listArray()->count(), 1u);
    copy->mutableUnknownFields().mergeVarintField(9, 10);
    EXPECT_EQ(n->unknownFields()->getField(9)->varintList()->count(), 1u);
    EXPECT_FALSE(copy->isEqual(n.get()));
    EXPECT_EQ(copy->hash(), n->hash());
}

TEST_F(Message, ClearEmptiesEverything) {
    auto e = WTExtendable::message();
    e->setFirst(1);
    e->setExtension(WTRoot::single(), ZAVWireNumber::withInt32(2));
    e->mutableUnknownFields().mergeVarintField(3, 3);
    e->clear();
    EXPECT_FALSE(e->hasFirst());
    EXPECT_EQ(e->unknownFields(), nullptr);
    EXPECT_FALSE(e->hasExtension(WTRoot::single()));
    EXPECT_EQ(e->serializedSize(), 0u);
}

TEST_F(Message, ConcurrentReadersGetOneSubMessage) {
    for (int round = 0; round < 20; ++round) {
        auto n = WTNode::message();
        std::vector<std::shared_ptr<WTNode>> seen(8);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = n->child(); });
        for (auto& t : threads) t.join();
        for (const auto& s : seen) EXPECT_EQ(s, seen[0]);
        std::vector<ZAVWireMutableArrayPtr> arrays(8);
        threads.clear();
        for (size_t i = 0; i < arrays.size(); ++i)
            threads.emplace_back([&, i] { arrays[i] = n->nodesArray(); });
        for (auto& t : threads) t.join();
        for (const auto& a : arrays) EXPECT_EQ(a, arrays[0]);
    }
}

TEST_F(Message, ConcurrentReadersGetOneExtensionMessageWhileOthersReadUnknownFields) {
    for (int round = 0; round < 20; ++round) {
        auto e = WTExtendable::message();
        std::vector<ZAVWireObjectPtr> seen(8);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < seen.size(); ++i) {
            threads.emplace_back([&, i] {
                if (i % 2) {
                    EXPECT_EQ(e->unknownFields(), nullptr);
                }
                seen[i] = e->getExtension(WTRoot::node());
            });
        }
        for (auto& t : threads) t.join();
        for (const auto& s : seen) EXPECT_EQ(s, seen[0]);
        EXPECT_FALSE(e->hasExtension(WTRoot::node()));
    }
}

TEST_F(Message, ReadersOfAParsedListAgreeWhileAnotherListIsMadeOnRead) {
    auto source = WTNode::message();
    source->listArray()->addInt32(7);
    auto n = WTNode::parseFromData(source->data());
    const auto& listField = *WTNode::descriptor()->fieldAt(3);
    std::vector<const ZAVWireArray*> seen(8);
    std::vector<ZAVWireMutableArrayPtr> lists(8), made(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] {
            seen[i] = n->existingArray(listField);
            lists[i] = n->listArray();
            made[i] = n->nodesArray();
        });
    for (auto& t : threads) t.join();
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i], lists[0].get());
        EXPECT_EQ(lists[i], lists[0]);
        EXPECT_EQ(made[i], made[0]);
    }
    EXPECT_EQ(lists[0]->int32AtIndex(0), 7);
    EXPECT_FALSE(n->hasNodesArray());
}

TEST_F(Message, KeyValueAccessGoesThroughTheDescriptor) {
    auto n = WTNode::message();
    n->setValueForKey(ZAVWireNumber::withInt32(4), "value");
    EXPECT_EQ(n->value(), 4);
    EXPECT_TRUE(std::static_pointer_cast<ZAVWireNumber>(n->valueForKey("hasValue"))->boolValue());
    EXPECT_EQ(std::static_pointer_cast<ZAVWireNumber>(n->valueForKey("value"))->intValue(), 4);
    EXPECT_EQ(n->valueForKey("listArray"), n->listArray());
    EXPECT_EQ(raised([&] { n->valueForKey("nope"); }).substr(0, 23), "NSUndefinedKeyException");
    EXPECT_EQ(raised([&] { n->setValueForKey(ZAVWireString::create("x"), "child"); }).substr(0, 26),
              "NSInvalidArgumentException");
}
