#pragma once
// Hex in, bytes out, and a check that a call raises a named exception with a given reason.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "wire/ZAVWireRootObject.h"

inline std::vector<uint8_t> hexBytes(const std::string& hex) {
    std::vector<uint8_t> out;
    int half = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9') {
            v = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            v = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            v = c - 'A' + 10;
        } else {
            continue;
        }
        if (half < 0) {
            half = v;
        } else {
            out.push_back(static_cast<uint8_t>(half * 16 + v));
            half = -1;
        }
    }
    return out;
}

inline std::shared_ptr<ZAVWireData> hexData(const std::string& hex) {
    return ZAVWireData::create(hexBytes(hex));
}

inline std::string toHex(const uint8_t* p, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += ZAVWireFormat(i ? " %02X" : "%02X", p[i]);
    return out;
}
inline std::string toHex(const std::vector<uint8_t>& v) {
    return toHex(v.data(), v.size());
}
inline std::string toHex(const ZAVWireData& d) {
    return toHex(d.bytes(), d.length());
}

// "name|reason" of what the call raised, or "" when it returned.
inline std::string raised(const std::function<void()>& call) {
    try {
        call();
    } catch (const plat::Exception& e) {
        return e.name() + "|" + e.reason();
    }
    return "";
}
