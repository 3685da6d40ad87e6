#include "tagmanager/runtime/ZAVCustomFunctionCall.h"

#include <exception>

#include "platform/base/Error.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/values/ZAVTypes.h"

ZAVCustomFunctionCall::ZAVCustomFunctionCall(std::shared_ptr<ZAVCustomEvaluator> evaluator)
    : ZAVFunctionCallImplementation(functionId(), {functionCallNameKey()}),
      evaluator_(std::move(evaluator)) {}

std::shared_ptr<ZAVCustomEvaluator> ZAVCustomFunctionCall::functionCallEvaluator() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return evaluator_;
}

void ZAVCustomFunctionCall::setFunctionCallEvaluator(std::shared_ptr<ZAVCustomEvaluator> evaluator) {
    std::lock_guard<std::mutex> lock(mutex_);
    evaluator_ = std::move(evaluator);
}

ZAVPValuePtr ZAVCustomFunctionCall::evaluate(const Properties& properties) {
    return evaluateWithConverted(properties, ZAVConvertedValues::none());
}

ZAVPValuePtr ZAVCustomFunctionCall::evaluateWithConverted(const Properties& properties,
                                                          const ZAVConvertedValues& converted) {
    auto nameValue = properties.find(functionCallNameKey());
    const std::string name =
        ZAVTypes::valueToString(nameValue == properties.end() ? nullptr : nameValue->second)->textValue();
    ZAVCustomEvaluator::Parameters parameters;
    auto additional = properties.find(additionalParametersKey());
    if (additional != properties.end()) {
        auto object = converted.objectFor(additional->second);
        if (!object || !object->isMap()) {
            ZAVLog::warning("FunctionCallMacro: expected additional_params to be a map.");
            return ZAVTypes::defaultValue();
        }
        for (const auto& [key, value] : object->entries())
            parameters[key ? key->description() : "(null)"] = value;
    }
    std::string failure;
    try {
        auto evaluator = functionCallEvaluator();
        if (!evaluator) throw plat::Exception("IllegalStateException", "no evaluator for " + name);
        return ZAVTypes::objectToValue(evaluator->evaluate(name, parameters));
    } catch (const plat::Exception& e) {
        failure = e.reason();
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown exception";
    }
    ZAVLog::warning("Custom macro/tag " + name + " threw exception " + failure);
    return ZAVTypes::defaultValue();
}
