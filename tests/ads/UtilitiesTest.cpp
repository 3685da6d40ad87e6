// Base64, digests and the reachability rules of the ad SDK.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "ads/base/ADFRBase64Util.h"
#include "ads/base/ADFRMessageDigestUtil.h"
#include "ads/base/ADFRReachability.h"
#include "platform/runloop/NotificationCenter.h"
#include "tests/support/NetTestSupport.h"

namespace F = plat::ReachabilityFlag;

namespace {

std::string text(const plat::Bytes& b) {
    return std::string(b.begin(), b.end());
}

}  // namespace

TEST(ADFRBase64Util, DecodesGroupsAndSkipsWhatIsNotAlphabet) {
    EXPECT_EQ(text(ADFRBase64Util::dataFromBase64String("QUJD")), "ABC");
    EXPECT_EQ(text(ADFRBase64Util::dataFromBase64String("QUI=")), "AB");
    EXPECT_EQ(text(ADFRBase64Util::dataFromBase64String("QQ==")), "A");
    EXPECT_EQ(text(ADFRBase64Util::dataFromBase64String("QUJD\n")), "ABC");
    EXPECT_EQ(text(ADFRBase64Util::dataFromBase64String("QU\r\nJ D")), "ABC");
    // A lone final character carries no byte.
    EXPECT_EQ(text(ADFRBase64Util::dataFromBase64String("QUJDQ")), "ABC");
    EXPECT_TRUE(ADFRBase64Util::dataFromBase64String("QUJD\xC3\xA9").empty());
}

TEST(ADFRBase64Util, EncodesWithLineBreaksEvery64Characters) {
    plat::Bytes bytes(49, 'x');
    std::string encoded = ADFRBase64Util::base64StringFromData(bytes);
    ASSERT_EQ(encoded.size(), 64u + 2 + 4);
    EXPECT_EQ(encoded.substr(64, 2), "\r\n");
    EXPECT_EQ(encoded.substr(66), "eA==");
    EXPECT_EQ(ADFRBase64Util::base64StringFromData(plat::Bytes(48, 'x')).find("\r\n"), std::string::npos);
    EXPECT_EQ(ADFRBase64Util::base64StringFromString("AB"), "QUI=");
    EXPECT_EQ(text(ADFRBase64Util::dataFromBase64String(encoded)), std::string(49, 'x'));
    // "aé" as UTF-16 big-endian: 00 61 00 E9.
    EXPECT_EQ(ADFRBase64Util::base64StringFromStringForUTF7("a\xC3\xA9"), "AGEA6Q==");
}

TEST(ADFRBase64Util, TextMustBeUtf8) {
    EXPECT_EQ(ADFRBase64Util::stringFromBase64String("w6k=", ADFRBase64Util::Encoding::UTF8), "\xC3\xA9");
    EXPECT_FALSE(ADFRBase64Util::stringFromBase64String("/w==", ADFRBase64Util::Encoding::UTF8));
    EXPECT_FALSE(ADFRBase64Util::isValidUtf8("\xED\xA0\x80"));  // a surrogate
    EXPECT_FALSE(ADFRBase64Util::isValidUtf8("\xC0\xAF"));      // overlong
    EXPECT_FALSE(ADFRBase64Util::isValidUtf8("\xE3\x81"));      // cut short
}

TEST(ADFRMessageDigestUtil, LowerCaseHexOfStandardDigests) {
    EXPECT_EQ(ADFRMessageDigestUtil::md5WithString(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(ADFRMessageDigestUtil::md5WithString("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(ADFRMessageDigestUtil::sha1WithString(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(ADFRMessageDigestUtil::sha1WithString("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(ADFRMessageDigestUtil::md5WithString(std::string("abc\0def", 7)),
              ADFRMessageDigestUtil::md5WithString("abc"));
}

TEST(ADFRReachability, FlagRules) {
    EXPECT_EQ(ADFRReachability::networkStatusForFlags(F::kReachable | F::kIsWWAN | F::kConnectionRequired),
              1);
    EXPECT_EQ(ADFRReachability::networkStatusForFlags(F::kReachable | F::kConnectionRequired), 0);
    EXPECT_EQ(ADFRReachability::networkStatusForFlags(F::kReachable), 1);
    EXPECT_EQ(ADFRReachability::networkStatusForFlags(F::kIsWWAN), 0);
    EXPECT_EQ(ADFRReachability::networkStatusForFlags(F::kReachable | F::kConnectionRequired |
                                                      F::kConnectionOnTraffic),
              1);
    EXPECT_EQ(ADFRReachability::networkStatusForFlags(F::kReachable | F::kConnectionRequired |
                                                      F::kConnectionOnDemand | F::kInterventionRequired),
              0);
    EXPECT_EQ(ADFRReachability::localWiFiStatusForFlags(F::kReachable | F::kIsDirect), 1);
    EXPECT_EQ(ADFRReachability::localWiFiStatusForFlags(F::kReachable), 0);
}

TEST(ADFRReachability, ObjectsAnswerByTheirRule) {
    testsupport::ForcedReachability forced(F::kReachable);
    auto internet = ADFRReachability::reachabilityForInternetConnection();
    auto wifi = ADFRReachability::reachabilityForLocalWiFi();
    ASSERT_TRUE(internet && wifi);
    EXPECT_FALSE(internet->localWiFiRef());
    EXPECT_TRUE(wifi->localWiFiRef());
    EXPECT_EQ(internet->currentReachabilityStatus(), 1);
    EXPECT_EQ(wifi->currentReachabilityStatus(), 0);
    forced.set(F::kReachable | F::kIsDirect | F::kConnectionRequired);
    EXPECT_EQ(internet->currentReachabilityStatus(), 0);
    EXPECT_EQ(wifi->currentReachabilityStatus(), 1);
    EXPECT_TRUE(internet->connectionRequired());
    EXPECT_TRUE(ADFRReachability::reachabilityWithHostName("example.invalid"));
    EXPECT_FALSE(ADFRReachability::reachabilityWithHostName(""));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_TRUE(ADFRReachability::reachabilityWithAddress(reinterpret_cast<sockaddr*>(&address)));
}

TEST(ADFRReachability, NotifierPostsOnChangeWithItselfAsSender) {
    testsupport::ForcedReachability forced(F::kReachable);
    auto internet = ADFRReachability::reachabilityForInternetConnection();
    ASSERT_TRUE(internet->startNotifier());
    const void* sender = nullptr;
    int posts = 0;
    auto token = plat::NotificationCenter::defaultCenter().addObserver(ADFRReachability::kChangedNotification,
                                                                       [&](const plat::Notification& n) {
                                                                           sender = n.sender;
                                                                           ++posts;
                                                                       });
    forced.set(0);
    EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return posts > 0; }));
    EXPECT_EQ(sender, internet.get());
    internet->stopNotifier();
    plat::NotificationCenter::defaultCenter().removeObserver(token);
}
