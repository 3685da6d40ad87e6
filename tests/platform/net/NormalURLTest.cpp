// Addresses in the web engine's one form: two spellings of one address read the same.
#include <gtest/gtest.h>

#include "platform/net/NormalURL.h"

TEST(NormalURL, SpellingsOfOneAddressReadTheSameAndWhatItCannotReadIsRefused) {
    EXPECT_EQ(plat::NormalURL::of("HTTP://Host.Invalid:80/a b/%7e%c3%a4ä/%2E/x/%2e%2E/:%3a%2f?q#f"),
              (plat::NormalURL{"http", "host.invalid", 80, "/a%20b/~%C3%A4%C3%A4/:%3A%2F"}));
    EXPECT_EQ(plat::NormalURL::of("https://[::1]:8443"), (plat::NormalURL{"https", "[::1]", 8443, "/"}));
    for (const char* refused : {"ftp://h/", "http://u@h/", "http://h:99999/", "http://h:x/", "http://h%41/",
                                "http://h\\x/", "http://h/a\tb", "file://h/x", "file:///a%2Fb", "file://"})
        EXPECT_FALSE(plat::NormalURL::of(refused)) << refused;
}
