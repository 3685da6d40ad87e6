#include "platform/base/Error.h"

#include <utility>

namespace plat {

Error::Error(std::string domain, int64_t code, Value::Dictionary userInfo,
             std::shared_ptr<const Error> underlying)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)), underlying_(std::move(underlying)) {}

Error Error::withDescription(std::string domain, int64_t code, std::string description) {
    Value::Dictionary info;
    info.set(kLocalizedDescriptionKey, Value(std::move(description)));
    return Error(std::move(domain), code, std::move(info));
}

std::string Error::localizedDescription() const {
    if (const Value* v = userInfo_.find(kLocalizedDescriptionKey); v && v->isString()) {
        return *v->stringIf();
    }
    return "The operation couldn't be completed. (" + domain_ + " error " + std::to_string(code_) + ".)";
}

bool Error::operator==(const Error& other) const {
    if (domain_ != other.domain_ || code_ != other.code_ || !(userInfo_ == other.userInfo_)) {
        return false;
    }
    if (!underlying_ || !other.underlying_) {
        return underlying_ == other.underlying_;
    }
    return *underlying_ == *other.underlying_;
}

Exception::Exception(std::string name, std::string reason, Value::Dictionary userInfo)
    : name_(std::move(name)), reason_(std::move(reason)), userInfo_(std::move(userInfo)),
      what_(name_ + ": " + reason_) {}

}  // namespace plat
