#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/base/KTArray.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTDictionary.h"
#include "kite/base/KTPrettyPrinter.h"
#include "kite/base/KTSet.h"
#include "kite/base/KTString.h"
#include "kite/base/KTValues.h"
#include "kite/base/KTVersion.h"
#include "platform/base/Log.h"

using namespace kite;

namespace {

class ContainerTest : public ::testing::Test {
  protected:
    void SetUp() override { KTAutoreleasePoolStack::sharedPoolStack()->push(); }
    void TearDown() override { KTAutoreleasePoolStack::purge(); }
    static void drain() { KTAutoreleasePoolStack::sharedPoolStack()->pop(); }
};

std::vector<std::string> keys(const KTDictionary* d) {
    std::vector<std::string> out;
    for (KTDictionaryEntry* e : *d) out.push_back(e->getStrKey());
    return out;
}

}  // namespace

TEST_F(ContainerTest, DictionaryReplaceMovesKeyToEnd) {
    auto* d = KTDictionary::create();
    auto* x = KTString::create("x");
    auto* y = KTString::create("y");
    d->setObject(x, "a");
    d->setObject(y, "b");
    d->setObject(x, "c");
    EXPECT_EQ(x->retainCount(), 3u);

    d->setObject(x, "a");  // same object: nothing moves
    EXPECT_EQ(keys(d), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(x->retainCount(), 3u);

    d->setObject(y, "a");
    EXPECT_EQ(keys(d), (std::vector<std::string>{"b", "c", "a"}));
    EXPECT_EQ(d->objectForKey("a"), y);
    EXPECT_EQ(x->retainCount(), 2u);
    EXPECT_EQ(d->count(), 3u);

    // The key text may be the entry's own: replacing through it must not read freed memory.
    KTDictionaryEntry* last = nullptr;
    for (KTDictionaryEntry* e : *d) last = e;
    d->setObject(x, last->getStrKey());
    EXPECT_EQ(d->objectForKey("a"), x);
}

TEST_F(ContainerTest, DictionaryStoresLongKeysWhole) {
    auto* d = KTDictionary::create();
    std::string longKey(300, 'k');
    longKey[0] = 'A';
    auto* v = KTInteger::create(1);
    d->setObject(v, longKey);
    EXPECT_EQ(d->objectForKey(longKey), v);
    EXPECT_EQ(d->objectForKey(longKey.substr(44)), nullptr);
    EXPECT_EQ(keys(d).front(), longKey);
}

TEST_F(ContainerTest, DictionaryRemovalAndIntegerKeys) {
    std::vector<int> order;
    auto* d = new KTDictionary();
    EXPECT_EQ(d->objectForKey("none"), nullptr);
    d->removeObjectForKey(5);  // no key kind yet: nothing
    for (int i = 0; i < 40; ++i) d->setObject(KTInteger::create(i), i * 1000);
    EXPECT_EQ(d->getKeyKind(), KTDictionary::kKeyKindInt);
    EXPECT_EQ(d->count(), 40u);
    EXPECT_EQ(static_cast<KTInteger*>(d->objectForKey(39000))->getValue(), 39);
    EXPECT_EQ(d->objectForKey("39000"), nullptr);
    d->removeObjectForKey(0);
    d->removeObjectForKey(12345);
    EXPECT_EQ(d->count(), 39u);
    for (KTDictionaryEntry* e : *d) order.push_back(static_cast<int>(e->getIntKey()));
    EXPECT_EQ(order.front(), 1000);
    EXPECT_EQ(order.back(), 39000);

    // Boxed integers have no copy, so a copy leaves them out instead of storing nulls.
    auto* copy = static_cast<KTDictionary*>(d->copy());
    EXPECT_EQ(copy->count(), 0u);
    copy->release();

    d->removeAllObjects();
    EXPECT_EQ(d->count(), 0u);
    EXPECT_EQ(d->getKeyKind(), KTDictionary::kKeyKindInt);
    d->release();
}

#ifdef NDEBUG
TEST_F(ContainerTest, DictionaryRefusesTheOtherKeyKind) {
    plat::LogCapture capture;
    auto* d = KTDictionary::create();
    d->setObject(KTString::create("s"), "key");
    d->setObject(KTString::create("i"), 7);
    EXPECT_EQ(d->count(), 1u);
    EXPECT_EQ(d->objectForKey(7), nullptr);
    EXPECT_TRUE(capture.contains("ignored an integer key"));
}
#else
TEST(ContainerDeathTest, DictionaryRefusesTheOtherKeyKind) {
    EXPECT_DEATH(
        {
            auto* d = new KTDictionary();
            d->setObject(new KTString("s"), "key");
            d->setObject(new KTString("i"), 7);
        },
        "must all be strings");
}
#endif

TEST_F(ContainerTest, DictionaryCopyHoldsNewEqualValues) {
    auto* d = KTDictionary::create();
    d->setObject(KTString::create("one"), "1");
    d->setObject(KTString::create("two"), "2");
    auto* copy = static_cast<KTDictionary*>(d->copy());
    EXPECT_EQ(copy->retainCount(), 1u);
    EXPECT_EQ(keys(copy), keys(d));
    KTObject* orig = d->objectForKey("2");
    KTObject* dup = copy->objectForKey("2");
    EXPECT_NE(orig, dup);
    EXPECT_TRUE(dup->isEqual(orig));
    EXPECT_EQ(dup->retainCount(), 1u);
    copy->release();
}

TEST_F(ContainerTest, SetMembershipKeepsOneReference) {
    auto* set = KTSet::create();
    auto* a = KTString::create("a");
    auto* b = KTString::create("b");
    set->addObject(a);
    set->addObject(a);
    EXPECT_EQ(a->retainCount(), 2u);
    EXPECT_EQ(set->count(), 1u);
    set->removeObject(b);
    EXPECT_EQ(b->retainCount(), 1u);
    set->addObject(b);
    KTSet* copy = set->copy();
    EXPECT_EQ(a->retainCount(), 3u);
    EXPECT_TRUE(copy->containsObject(b));
    copy->release();
    EXPECT_EQ(a->retainCount(), 2u);
    std::vector<KTObject*> members(set->begin(), set->end());
    ASSERT_EQ(members.size(), 2u);
    EXPECT_LT(members[0], members[1]);
    set->removeAllObjects();
    EXPECT_EQ(a->retainCount(), 1u);
    EXPECT_EQ(set->anyObject(), nullptr);
}

TEST_F(ContainerTest, StringValues) {
    EXPECT_FALSE(KTString("false").boolValue());
    EXPECT_FALSE(KTString("0").boolValue());
    EXPECT_FALSE(KTString("").boolValue());
    EXPECT_TRUE(KTString("FALSE").boolValue());
    EXPECT_TRUE(KTString("no").boolValue());
    EXPECT_EQ(KTString("").intValue(), 0);
    EXPECT_EQ(KTString("12abc").intValue(), 12);
    EXPECT_DOUBLE_EQ(KTString("2.5").doubleValue(), 2.5);
    EXPECT_DOUBLE_EQ(KTString("").doubleValue(), 0.0);

    std::string withNul("a\0b", 3);
    KTString s(withNul);
    EXPECT_EQ(s.length(), 3u);
    EXPECT_FALSE(s.isEqual(KTString::create("a")));
    EXPECT_TRUE(s.isEqual(KTString::create(withNul)));
    EXPECT_FALSE(s.isEqual(nullptr));
    EXPECT_FALSE(s.isEqual(KTInteger::create(0)));
}

TEST_F(ContainerTest, FormatIsCutToTheBuffer) {
    EXPECT_EQ(KTString::createWithFormat("%d-%s", 7, "x")->getString(), "7-x");
    std::string big(200000, 'z');
    KTString* s = KTString::createWithFormat("%s", big.c_str());
    EXPECT_EQ(s->length(), KTString::kMaxFormatLength - 1);
    EXPECT_EQ(s->getString(), big.substr(0, KTString::kMaxFormatLength - 1));
}

TEST_F(ContainerTest, PrettyPrinterText) {
    auto* d = KTDictionary::create();
    d->setObject(KTString::create("x"), "a");
    KTPrettyPrinter p(0);
    d->acceptVisitor(p);
    EXPECT_EQ(p.getResult(), "\n<dict>\n\ta: x\n</dict>");

    auto* arr = KTArray::create();
    arr->addObject(KTInteger::create(3));
    arr->addObject(KTBool::create(false));
    arr->addObject(d);
    auto* outer = KTDictionary::create();
    outer->setObject(arr, "list");
    outer->setObject(KTDouble::create(1.5), "d");
    KTPrettyPrinter q;
    outer->acceptVisitor(q);
    EXPECT_EQ(q.getResult(),
              "\n<dict>\n\tlist: \n\t<array>\n\t\t00: 3\n\t\t01: false\n\t\t02: \n\t\t<dict>\n\t\t\ta: "
              "x\n\t\t</dict>"
              "\n\t</array>\n\td: 1.500000\n</dict>");

    auto* set = KTSet::create();
    set->addObject(KTString::create("m"));
    KTPrettyPrinter r;
    set->acceptVisitor(r);
    EXPECT_EQ(r.getResult(), "\n<set>\n\tm\n</set>\n");
    r.clear();
    EXPECT_EQ(r.getResult(), "");

    auto* ints = KTDictionary::create();
    ints->setObject(KTInteger::create(-4), 9);
    KTPrettyPrinter s;
    ints->acceptVisitor(s);
    EXPECT_EQ(s.getResult(), "\n<dict>\n\t: -4\n</dict>");
    EXPECT_STREQ(engineVersionString(), "2.2.1");
}

TEST(CArrayTest, ValueArrayKeepsAFreeSlot) {
    int a = 1, b = 2, c = 3;
    ktCArray* arr = ktCArrayNew(0);
    EXPECT_EQ(arr->max, 1u);
    ktCArrayAppendValueWithResize(arr, &a);
    EXPECT_EQ(arr->max, 2u);  // full after the store, so it grows at once
    ktCArrayAppendValueWithResize(arr, &b);
    ktCArrayAppendValueWithResize(arr, &a);
    EXPECT_EQ(arr->max, 4u);
    EXPECT_TRUE(ktCArrayContainsValue(arr, &b));
    EXPECT_FALSE(ktCArrayContainsValue(arr, &c));
    ktCArrayRemoveValue(arr, &a);  // first occurrence; later values move down
    ASSERT_EQ(arr->num, 2u);
    EXPECT_EQ(arr->arr[0], &b);
    EXPECT_EQ(arr->arr[1], &a);
    ktCArrayRemoveAllValues(arr);
    EXPECT_EQ(arr->num, 0u);
    ktCArrayFree(arr);
    ktCArrayFree(nullptr);
}

TEST(CArrayTest, ObjectArrayAppendsItselfAndFrees) {
    auto* obj = new KTObject();
    ktArray* arr = ktArrayNew(1);
    ktArrayAppendObjectWithResize(arr, obj);
    ktArrayAppendObjectWithResize(arr, obj);
    ktArrayAppendArrayWithResize(arr, arr);
    EXPECT_EQ(arr->num, 4u);
    EXPECT_EQ(obj->retainCount(), 5u);
    ktArrayInsertObjectAtIndex(arr, obj, 4);
    ktArrayRemoveObjectAtIndex(arr, 0, false);
    EXPECT_EQ(obj->retainCount(), 6u);
    ktArrayFree(arr);
    EXPECT_EQ(arr, nullptr);
    EXPECT_EQ(obj->retainCount(), 2u);
    obj->release();
    obj->release();
}
