// ZAVPSupplementedResource as the tag manager reads it (download), with a registry holding the serving-value
// extension.
#include "tests/fuzz/wire_fuzz_check.h"
#include "wire/schema/ZAVPServing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto registry = [] {
        auto r = std::make_shared<ZAVWireExtensionRegistry>();
        r->addExtension(std::static_pointer_cast<const ZAVWireExtensionField>(
            ZAVPServingValue::ext().shared_from_this()));
        return r;
    }();
    wireFuzzCheck(ZAVPSupplementedResource::wireClass(), registry.get(), data, size);
    return 0;
}
