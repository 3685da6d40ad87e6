#pragma once
// "_func": a macro or tag whose work is done by a handler of the app, named by the call and handed the
// call's "additional_params". Never cacheable; a handler that throws ends in the default value.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "tagmanager/values/ZAVFunctionCallImplementation.h"

class ZAVCustomEvaluator {
  public:
    using Parameters = std::map<std::string, ZAVObjectPtr>;
    virtual ~ZAVCustomEvaluator() = default;
    // May throw.
    virtual ZAVObjectPtr evaluate(const std::string& name, const Parameters& parameters) = 0;
};

class ZAVCustomFunctionCall : public ZAVFunctionCallImplementation {
  public:
    explicit ZAVCustomFunctionCall(std::shared_ptr<ZAVCustomEvaluator> evaluator);
    static std::string functionId() { return "_func"; }
    static std::string functionCallNameKey() { return "function_call_macro_name"; }
    static std::string additionalParametersKey() { return "additional_params"; }
    bool isCacheable() const override { return false; }
    ZAVPValuePtr evaluate(const Properties& properties) override;
    ZAVPValuePtr evaluateWithConverted(const Properties& properties,
                                       const ZAVConvertedValues& converted) override;
    std::shared_ptr<ZAVCustomEvaluator> functionCallEvaluator() const;
    void setFunctionCallEvaluator(std::shared_ptr<ZAVCustomEvaluator> evaluator);

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<ZAVCustomEvaluator> evaluator_;
};
