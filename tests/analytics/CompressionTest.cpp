#include <gtest/gtest.h>

#include <string>

#include "analytics/base/RUVCompressionUtil.h"

using Data = RUVCompressionUtil::Data;

namespace {
Data bytesOf(const std::string& s) {
    return Data(s.begin(), s.end());
}
Data sample() {
    std::string text;
    for (int i = 0; i < 400; ++i) text += "t=screenview&cd=Level+" + std::to_string(i % 7) + "&cid=abc\n";
    return bytesOf(text);
}
}  // namespace

TEST(Compression, WrappersAreTheOnesAsked) {
    auto gz = RUVCompressionUtil::dataByGzipping(bytesOf("abc"));
    ASSERT_TRUE(gz);
    ASSERT_GE(gz->size(), 2u);
    EXPECT_EQ((*gz)[0], 0x1F);
    EXPECT_EQ((*gz)[1], 0x8B);
    auto z = RUVCompressionUtil::dataByDeflating(bytesOf("abc"));
    ASSERT_TRUE(z);
    EXPECT_EQ((*z)[0], 0x78);
    auto raw = RUVCompressionUtil::dataByRawDeflating(bytesOf("abc"));
    ASSERT_TRUE(raw);
    EXPECT_NE((*raw)[0], 0x78);
    EXPECT_NE((*raw)[0], 0x1F);
}

TEST(Compression, EveryFormRoundTrips) {
    const Data in = sample();
    EXPECT_EQ(RUVCompressionUtil::dataByInflating(*RUVCompressionUtil::dataByGzipping(in)), in);
    EXPECT_EQ(RUVCompressionUtil::dataByInflating(*RUVCompressionUtil::dataByDeflating(in, 9)), in);
    EXPECT_EQ(RUVCompressionUtil::dataByRawInflating(*RUVCompressionUtil::dataByRawDeflating(in, 3)), in);
    // A raw stream is not a wrapped one.
    EXPECT_FALSE(RUVCompressionUtil::dataByInflating(*RUVCompressionUtil::dataByRawDeflating(in)));
}

TEST(Compression, LevelsOutsideOneToNineAreClamped) {
    const Data in = sample();
    EXPECT_EQ(RUVCompressionUtil::dataByDeflating(in, 0), RUVCompressionUtil::dataByDeflating(in, 1));
    EXPECT_EQ(RUVCompressionUtil::dataByGzipping(in, 12), RUVCompressionUtil::dataByGzipping(in, 9));
}

TEST(Compression, EmptyTruncatedOrTrailingInputGivesNothing) {
    EXPECT_FALSE(RUVCompressionUtil::dataByGzipping(Data{}));
    EXPECT_FALSE(RUVCompressionUtil::dataByInflating(Data{}));
    EXPECT_FALSE(RUVCompressionUtil::dataByGzipping(nullptr, 3));
    Data gz = *RUVCompressionUtil::dataByGzipping(sample());
    Data cut(gz.begin(), gz.end() - 5);
    EXPECT_FALSE(RUVCompressionUtil::dataByInflating(cut));
    Data trailing = gz;
    trailing.push_back(0);
    EXPECT_FALSE(RUVCompressionUtil::dataByInflating(trailing));
    EXPECT_FALSE(RUVCompressionUtil::dataByInflating(bytesOf("not compressed at all")));
}

TEST(Compression, InflationIsBounded) {
    Data zeros(RUVCompressionUtil::kMaxInflatedBytes + 1, 0);
    auto bomb = RUVCompressionUtil::dataByDeflating(zeros, 9);
    ASSERT_TRUE(bomb);
    EXPECT_LT(bomb->size(), 200000u);
    EXPECT_FALSE(RUVCompressionUtil::dataByInflating(*bomb));
}
