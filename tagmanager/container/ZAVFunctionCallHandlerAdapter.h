#pragma once
// The app's own tags and macros: handlers registered with a container by name, and the two evaluators
// that the container's rule runtime calls for "_func". The adapters look the handler up on every call,
// so one registered or replaced after the container loaded takes effect at the next evaluation.
#include <memory>
#include <string>

#include "tagmanager/runtime/ZAVCustomFunctionCall.h"

class ZAVContainer;

class ZAVFunctionCallTagHandler {
  public:
    using Parameters = ZAVCustomEvaluator::Parameters;
    virtual ~ZAVFunctionCallTagHandler() = default;
    virtual void execute(const std::string& tagName, const Parameters& parameters) = 0;
};

class ZAVFunctionCallMacroHandler {
  public:
    using Parameters = ZAVCustomEvaluator::Parameters;
    virtual ~ZAVFunctionCallMacroHandler() = default;
    virtual ZAVObjectPtr valueForMacro(const std::string& macroName, const Parameters& parameters) = 0;
};

// The adapters reach their container weakly: the container owns the runtime that owns them, and a
// container dropped without being closed must still be freed.
class ZAVFunctionCallTagHandlerAdapter : public ZAVCustomEvaluator {
  public:
    explicit ZAVFunctionCallTagHandlerAdapter(const std::shared_ptr<ZAVContainer>& container);
    std::shared_ptr<ZAVContainer> container() const { return container_.lock(); }
    // Always the default string, whatever the handler did; a handler's exception passes through.
    ZAVObjectPtr evaluate(const std::string& name, const Parameters& parameters) override;

  private:
    const std::weak_ptr<ZAVContainer> container_;
};

class ZAVFunctionCallMacroHandlerAdapter : public ZAVCustomEvaluator {
  public:
    explicit ZAVFunctionCallMacroHandlerAdapter(const std::shared_ptr<ZAVContainer>& container);
    std::shared_ptr<ZAVContainer> container() const { return container_.lock(); }
    // The handler's result; none when no handler carries the name.
    ZAVObjectPtr evaluate(const std::string& name, const Parameters& parameters) override;

  private:
    const std::weak_ptr<ZAVContainer> container_;
};
