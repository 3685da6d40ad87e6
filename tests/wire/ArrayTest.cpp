#include "WireTestSupport.h"
#include "wire/ZAVWireArray.h"
#include "wire/ZAVWireString.h"

namespace {

struct CountingDelegate : ZAVWireMutableArrayDelegate {
    std::vector<uint64_t> heard;
    void pbMutableArrayWillAddElements(ZAVWireMutableArray*, uint64_t count) override {
        heard.push_back(count);
    }
};

ZAVWireObjectPtr str(const char* s) {
    return ZAVWireString::create(s);
}

}  // namespace

TEST(WireArray, CapacityGrowsInStepsOf32) {
    auto a = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeInt32);
    std::vector<size_t> seen;
    for (int i = 1; i <= 65; ++i) {
        a->addInt32(i);
        if (i == 1 || i == 2 || i == 33 || i == 65) seen.push_back(a->capacity());
    }
    EXPECT_EQ(seen, (std::vector<size_t>{1, 32, 64, 96}));
    EXPECT_EQ(a->int32AtIndex(64), 65);
}

TEST(WireArray, BoundsBeforeTypeForGettersTypeFirstForReplaces) {
    auto a = ZAVWireArray::arrayWithObjects({str("a"), str("b"), str("c")});
    EXPECT_EQ(raised([&] { a->int32AtIndex(5); }), "NSRangeException|idx (5) beyond bounds (3)");
    EXPECT_EQ(raised([&] { a->int32AtIndex(1); }),
              "ZAVWireArrayTypeMismatchException|array value type mismatch (expected "
              "'ZAVWireArrayValueTypeInt32')");
    EXPECT_EQ(raised([&] { a->replaceInt32AtIndex(5, 1); }),
              "ZAVWireArrayTypeMismatchException|array value type mismatch (expected "
              "'ZAVWireArrayValueTypeInt32')");
    EXPECT_EQ(raised([&] { a->replaceObjectAtIndex(5, str("x")); }),
              "NSRangeException|idx (5) beyond bounds (3)");
    auto ints = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeInt32);
    EXPECT_EQ(raised([&] { ints->appendValues(nullptr, ZAVWireArrayValueTypeInt64, 0); }),
              "ZAVWireArrayTypeMismatchException|array value type mismatch (expected 'valueType')");
    auto longs = ZAVWireArray::arrayWithValues(std::vector<int64_t>{1}.data(), 1, ZAVWireArrayValueTypeInt64);
    EXPECT_EQ(raised([&] { ints->appendArray(longs.get()); }),
              "ZAVWireArrayTypeMismatchException|array value type mismatch (expected 'array->_valueType')");
}

TEST(WireArray, CreationForms) {
    auto a = ZAVWireArray::arrayWithInt32s({5, 7, INT32_MAX, 9});
    EXPECT_EQ(a->count(), 2u);
    EXPECT_EQ(a->int32AtIndex(1), 7);
    auto objs = ZAVWireArray::arrayWithObjects({str("a"), nullptr, str("b")});
    EXPECT_EQ(objs->count(), 1u);
    EXPECT_EQ(
        raised([&] {
            ZAVWireArray::arrayWithArray({ZAVWireNumber::withInt32(1), str("x")}, ZAVWireArrayValueTypeInt32);
        }),
        "ZAVWireArrayNumberExpectedException|NSNumber expected (got 'ZAVWireString')");
    auto bools = ZAVWireArray::arrayWithArray(
        {ZAVWireNumber::withInt32(256 + 2), ZAVWireNumber::withInt32(256)}, ZAVWireArrayValueTypeBool);
    EXPECT_TRUE(bools->boolAtIndex(0));
    EXPECT_FALSE(bools->boolAtIndex(1));  // the low byte decides, as charValue does
    auto counted = ZAVWireArray::arrayWithCount(3, ZAVWireArrayValueTypeDouble);
    ASSERT_TRUE(counted);
    EXPECT_EQ(counted->count(), 3u);
}

TEST(WireArray, EqualityAndHash) {
    double pz = 0.0, nz = -0.0;
    auto a = ZAVWireArray::arrayWithValues(&pz, 1, ZAVWireArrayValueTypeDouble);
    auto b = ZAVWireArray::arrayWithValues(&nz, 1, ZAVWireArrayValueTypeDouble);
    EXPECT_FALSE(a->isEqual(b.get()));
    auto objs = ZAVWireArray::arrayWithObject(str("x"));
    EXPECT_TRUE(objs->isEqual(objs->mutableCopy().get()));
    EXPECT_EQ(ZAVWireArray::arrayWithValueType(ZAVWireArrayValueTypeObject)->hash(), 0u);
    EXPECT_EQ(ZAVWireArray::arrayWithInt32s({1, 2, 3, INT32_MAX})->hash(), 200003u);
    EXPECT_EQ(objs->copy(), objs);  // immutable copies are the object itself
    auto m = ZAVWireMutableArray::arrayWithObject(str("x"));
    EXPECT_NE(m->copy(), m);
    EXPECT_STREQ(m->copy()->className(), "ZAVWireArray");
}

TEST(WireArray, DelegateHearsEveryInsertionNoReplace) {
    CountingDelegate d;
    auto a = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject);
    a->setDelegate(&d);
    a->addObject(str("a"));
    a->setObjectAtIndexedSubscript(str("b"), 1);
    a->setObjectAtIndexedSubscript(str("c"), 0);  // replace
    a->replaceObjectAtIndex(1, str("d"));
    auto other = ZAVWireArray::arrayWithObjects({str("e"), str("f")});
    a->appendArray(other.get());
    a->setArray(other.get());
    a->removeAllValues();
    a->setArray(a.get());
    EXPECT_EQ(d.heard, (std::vector<uint64_t>{1, 1, 2, 2}));
    a->setDelegate(nullptr);
}

TEST(WireArray, AppendingEmptyStoragelessArrayChangesNothing) {
    auto a = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeInt32);
    auto empty = ZAVWireArray::arrayWithValueType(ZAVWireArrayValueTypeDouble);
    uint64_t before = a->mutationCount();
    EXPECT_EQ(raised([&] { a->appendArray(empty.get()); }), "");
    EXPECT_EQ(a->mutationCount(), before);
    a->addInt32(4);
    a->setArray(a.get());
    EXPECT_EQ(a->count(), 1u);
    a->appendArray(a.get());
    EXPECT_EQ(a->count(), 2u);
}

TEST(WireArray, MutationWhileEnumeratingRaises) {
    auto a = ZAVWireMutableArray::arrayWithObject(str("a"));
    auto expected = ZAVWireFormat(
        "NSGenericException|*** Collection <ZAVWireMutableArray: %p> was mutated while "
        "being enumerated.",
        static_cast<const void*>(a.get()));
    EXPECT_EQ(
        raised([&] { a->enumerateObjectsUsingBlock([&](auto&, size_t, bool*) { a->addObject(str("b")); }); }),
        expected);
    EXPECT_EQ(raised([&] {
                  for (const auto& o : *a) {
                      (void)o;
                      a->addObject(str("c"));
                  }
              }),
              expected);
    size_t seen = 0;
    for (const auto& o : *a) seen += o ? 1 : 0;
    EXPECT_EQ(seen, a->count());
    bool stopped = false;
    a->enumerateObjectsUsingBlock([&](auto&, size_t index, bool* stop) {
        EXPECT_EQ(index, 0u);
        *stop = stopped = true;
    });
    EXPECT_TRUE(stopped);
}

TEST(WireArray, Descriptions) {
    auto ints = ZAVWireArray::arrayWithInt32s({1, -2, INT32_MAX});
    EXPECT_EQ(ints->description(),
              ZAVWireFormat("<ZAVWireMutableArray %p> { 1, -2 }", static_cast<const void*>(ints.get())));
    auto empty = ZAVWireArray::arrayWithValueType(ZAVWireArrayValueTypeBool);
    EXPECT_EQ(empty->description(),
              ZAVWireFormat("<ZAVWireArray %p> {  }", static_cast<const void*>(empty.get())));
    auto objs = ZAVWireArray::arrayWithObjects({str("a\nb"), str("c")});
    EXPECT_EQ(objs->description(), ZAVWireFormat("<ZAVWireMutableArray %p> { \n\ta\n\tb,\n\tc\n }",
                                                 static_cast<const void*>(objs.get())));
    float f = 1.5f;
    auto floats = ZAVWireArray::arrayWithValues(&f, 1, ZAVWireArrayValueTypeFloat);
    EXPECT_EQ(floats->description(),
              ZAVWireFormat("<ZAVWireArray %p> { 1.500000 }", static_cast<const void*>(floats.get())));
}

TEST(WireArray, BoxingAndKeyValue) {
    uint64_t big = UINT64_MAX;
    auto a = ZAVWireArray::arrayWithValues(&big, 1, ZAVWireArrayValueTypeUInt64);
    auto boxed = std::static_pointer_cast<ZAVWireNumber>(a->array()[0]);
    EXPECT_EQ(boxed->kind(), ZAVWireNumber::Kind::UInt64);
    EXPECT_EQ(boxed->unsignedLongLongValue(), UINT64_MAX);
    auto objs = ZAVWireArray::arrayWithObjects({str("a")});
    EXPECT_EQ(raised([&] { objs->valueForKey("length"); }).substr(0, 23), "NSUndefinedKeyException");
    auto both = objs->arrayByAppendingArray(*ZAVWireArray::arrayWithObject(str("b")));
    EXPECT_EQ(both->count(), 2u);
    auto converted = both->arrayWithConversion([](const ZAVWireObjectPtr& o) {
        return static_cast<ZAVWireString&>(*o).utf8() == "a" ? nullptr : o;
    });
    EXPECT_EQ(converted.size(), 1u);
}
