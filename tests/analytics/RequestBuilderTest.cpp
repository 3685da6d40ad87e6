#include <gtest/gtest.h>

#include <memory>

#include "analytics/base/RUVCompressionUtil.h"
#include "analytics/hits/RUVRequestBuilder.h"
#include "platform/base/Clock.h"

namespace {
class RequestBuilderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock_ = std::make_shared<plat::VirtualClock>(1500000003250000LL);
        previous_ = plat::Clock::setShared(clock_);
    }
    void TearDown() override { plat::Clock::setShared(previous_); }
    static plat::Value hit(plat::Value::Dictionary parameters, double stored = 1500000000.25) {
        return plat::Value(plat::Value::Dictionary{{"timestamp", plat::Value(plat::Value::Date{stored})},
                                                   {"parameters", plat::Value(std::move(parameters))}});
    }
    std::shared_ptr<plat::VirtualClock> clock_;
    std::shared_ptr<plat::Clock> previous_;
    RUVRequestBuilder builder_;
};
}  // namespace

TEST_F(RequestBuilderTest, PayloadTakesSortedKeysThenTimesThenCacheBuster) {
    EXPECT_EQ(builder_.parametersForHit(hit({{"&z", plat::Value("77")},
                                             {"&t", plat::Value("screenview")},
                                             {"useSecure", plat::Value("1")},
                                             {"&cd", plat::Value("Level 3")}})),
              "cd=Level+3&t=screenview&ht=1500000000250&qt=3000&z=77");
    // Same millisecond: no queue time. Empty value: the name alone. Null: left out. Number: its text.
    EXPECT_EQ(builder_.parametersForHit(
                  hit({{"&cd", plat::Value("")}, {"&ul", plat::Value()}, {"&a", plat::Value(int64_t{5})}},
                      1500000003.2498)),
              "a=5&cd&ht=1500000003249");
}

TEST_F(RequestBuilderTest, RequestsCarryTheHeadersAndBodies) {
    builder_.setUserAgent("UA/1");
    auto get = builder_.requestGetUrl("https://h/collect", "t=a");
    EXPECT_EQ(get.url(), "https://h/collect?t=a");
    EXPECT_EQ(get.httpMethod(), "GET");
    EXPECT_TRUE(get.httpBody().empty());
    EXPECT_EQ(get.valueForHTTPHeaderField("Content-Type"),
              "application/x-www-form-urlencoded; charset=UTF-8");
    EXPECT_EQ(get.valueForHTTPHeaderField("User-Agent"), "UA/1");
    EXPECT_EQ(get.cachePolicy(), plat::URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData);

    auto plain = builder_.requestPostUrl("https://h/collect", "t=a", 0);
    EXPECT_EQ(plain.httpMethod(), "POST");
    EXPECT_EQ(plain.url(), "https://h/collect");
    EXPECT_EQ(std::string(plain.httpBody().begin(), plain.httpBody().end()), "t=a");
    EXPECT_FALSE(plain.valueForHTTPHeaderField("Content-Encoding"));
    EXPECT_EQ(plain.valueForHTTPHeaderField("Content-Length"), "3");

    auto gz = builder_.requestPostUrl("https://h/batch", "t=a\nt=b", 2);
    EXPECT_EQ(gz.valueForHTTPHeaderField("Content-Encoding"), "gzip");
    EXPECT_EQ(gz.valueForHTTPHeaderField("Content-Length"), std::to_string(gz.httpBody().size()));
    auto back = RUVCompressionUtil::dataByInflating(gz.httpBody());
    ASSERT_TRUE(back);
    EXPECT_EQ(std::string(back->begin(), back->end()), "t=a\nt=b");

    auto z = builder_.requestPostUrl("https://h/batch", "t=a", 1);
    EXPECT_EQ(z.valueForHTTPHeaderField("Content-Encoding"), "deflate");
    EXPECT_EQ(z.httpBody().at(0), 0x78);
    // Nothing to compress: an empty body of length 0.
    auto empty = builder_.requestPostUrl("https://h/batch", "", 2);
    EXPECT_TRUE(empty.httpBody().empty());
    EXPECT_EQ(empty.valueForHTTPHeaderField("Content-Length"), "0");
}
