#include "tagmanager/container/ZAVFunctionCallHandlerAdapter.h"

#include "tagmanager/container/ZAVContainer.h"
#include "tagmanager/values/ZAVTypes.h"

ZAVFunctionCallTagHandlerAdapter::ZAVFunctionCallTagHandlerAdapter(
    const std::shared_ptr<ZAVContainer>& container)
    : container_(container) {}

ZAVObjectPtr ZAVFunctionCallTagHandlerAdapter::evaluate(const std::string& name,
                                                        const Parameters& parameters) {
    if (auto owner = container_.lock())
        if (auto handler = owner->functionCallTagHandlerForTag(name)) handler->execute(name, parameters);
    return ZAVTypes::defaultString();
}

ZAVFunctionCallMacroHandlerAdapter::ZAVFunctionCallMacroHandlerAdapter(
    const std::shared_ptr<ZAVContainer>& container)
    : container_(container) {}

ZAVObjectPtr ZAVFunctionCallMacroHandlerAdapter::evaluate(const std::string& name,
                                                          const Parameters& parameters) {
    if (auto owner = container_.lock())
        if (auto handler = owner->functionCallMacroHandlerForMacro(name))
            return handler->valueForMacro(name, parameters);
    return nullptr;
}
