// Messages of the test family: any bytes give a message or the runtime's parse error, never a crash; a
// message writes exactly serializedSize bytes, which read back into a message writing the very same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/base/Error.h"
#include "tests/wire/TestMessages.cpp"

namespace {

bool expectedFailure(const plat::Exception& e) {
    if (e.name() == NSParseErrorException) return true;
    if (e.name() != NSInvalidArgumentException) return false;
    return e.reason() == "Zero is not a valid field number." ||
           e.reason().rfind("byteLimit > oldLimit: ", 0) == 0;
}

const ZAVWireClass* const kTargets[] = {&WTAll::wireClass(), &WTNode::wireClass(), &WTRequired::wireClass(),
                                        &WTExtendable::wireClass(), &WTMessageSet::wireClass()};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    WTRegisterClasses();
    const ZAVWireClass* cls = kTargets[data[0] % (sizeof kTargets / sizeof kTargets[0])];
    const ZAVWireExtensionRegistry* registry = (data[0] & 0x80) ? nullptr : WTRoot::fuzzRegistry();
    auto message = cls->create();
    try {
        message->mergeFromData(ZAVWireData::create(data + 1, size - 1), registry);
    } catch (const plat::Exception& e) {
        if (!expectedFailure(e)) std::abort();
        return 0;
    }
    auto first = message->data();
    if (first->length() != message->serializedSize()) std::abort();
    auto again = cls->create();
    try {
        again->mergeFromData(first, registry);
    } catch (const plat::Exception&) {
        std::abort();
    }
    if (!again->data()->isEqual(first.get())) std::abort();
    if (!message->messageCopy()->data()->isEqual(first.get())) std::abort();
    (void)message->isInitialized();
    (void)message->description();
    return 0;
}
