#include <gtest/gtest.h>

#include "platform/base/Error.h"

TEST(Error, DescriptionFromUserInfoOrGeneric) {
    plat::Error e = plat::Error::withDescription("RUVErrorDomain", 7, "no network");
    EXPECT_EQ(e.localizedDescription(), "no network");
    plat::Error bare("D", -3);
    EXPECT_EQ(bare.localizedDescription(), "The operation couldn't be completed. (D error -3.)");
    auto under = std::make_shared<plat::Error>(bare);
    plat::Error wrapped("W", 1, {}, under);
    ASSERT_TRUE(wrapped.underlyingError());
    EXPECT_EQ(wrapped.underlyingError()->domain(), "D");
    EXPECT_FALSE(wrapped == bare);
    EXPECT_TRUE(wrapped == plat::Error("W", 1, {}, std::make_shared<plat::Error>(bare)));
}

TEST(Exception, CarriesNameReasonAndInfo) {
    try {
        throw plat::Exception("InvalidProtocolBuffer", "Invalid tag 0", {{"k", plat::Value(1)}});
    } catch (const plat::Exception& ex) {
        EXPECT_EQ(ex.name(), "InvalidProtocolBuffer");
        EXPECT_EQ(ex.reason(), "Invalid tag 0");
        ASSERT_TRUE(ex.userInfo().find("k"));
        EXPECT_EQ(ex.userInfo().find("k")->toInt64(), 1);
        EXPECT_STREQ(ex.what(), "InvalidProtocolBuffer: Invalid tag 0");
    }
}
