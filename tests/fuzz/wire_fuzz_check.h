#pragma once
// The rule every wire fuzz target holds a message class to: any input gives a message or the runtime's parse
// error, never anything else; a message writes exactly serializedSize bytes, and those read back into a
// message that writes the very same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/base/Error.h"
#include "wire/ZAVWireGeneratedMessage.h"

inline bool wireFuzzExpectedFailure(const plat::Exception& e) {
    if (e.name() == NSParseErrorException) return true;
    if (e.name() != NSInvalidArgumentException) return false;
    return e.reason() == "Zero is not a valid field number." ||
           e.reason().rfind("byteLimit > oldLimit: ", 0) == 0;
}

inline void wireFuzzCheck(const ZAVWireClass& cls, const ZAVWireExtensionRegistry* registry,
                          const uint8_t* data, size_t size) {
    auto message = cls.create();
    try {
        message->mergeFromData(ZAVWireData::create(data, size), registry);
    } catch (const plat::Exception& e) {
        if (!wireFuzzExpectedFailure(e)) std::abort();
        return;
    }
    auto first = message->data();
    if (first->length() != message->serializedSize()) std::abort();
    auto again = cls.create();
    try {
        again->mergeFromData(first, registry);
    } catch (const plat::Exception&) {
        std::abort();
    }
    if (!again->data()->isEqual(first.get())) std::abort();
    if (!message->messageCopy()->data()->isEqual(first.get())) std::abort();
    (void)message->isInitialized();
    (void)message->description();
}
