#include "platform/base/Error.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>

#include <dlfcn.h>
#include <execinfo.h>

namespace plat {

Error::Error(std::string domain, int64_t code, Value::Dictionary userInfo,
             std::shared_ptr<const Error> underlying)
    : domain_(std::move(domain)),
      code_(code),
      userInfo_(std::move(userInfo)),
      underlying_(std::move(underlying)) {}

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
    : name_(std::move(name)),
      reason_(std::move(reason)),
      userInfo_(std::move(userInfo)),
      what_(name_ + ": " + reason_) {}

Exception& Exception::captureCallStack() {
    constexpr int kMaxFrames = 64;
    void* frames[kMaxFrames];
    int count = backtrace(frames, kMaxFrames);
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Dl_info info{};
        const char* module = "???";
        std::string symbol;
        uintptr_t address = reinterpret_cast<uintptr_t>(frames[i]);
        uintptr_t offset = 0;
        if (dladdr(frames[i], &info) != 0) {
            if (info.dli_fname && *info.dli_fname) {
                module = info.dli_fname;
                if (const char* slash = std::strrchr(module, '/')) module = slash + 1;
            }
            if (info.dli_sname && info.dli_saddr) {
                symbol = info.dli_sname;
                offset = address - reinterpret_cast<uintptr_t>(info.dli_saddr);
            } else if (info.dli_fbase) {
                offset = address - reinterpret_cast<uintptr_t>(info.dli_fbase);
            }
        }
        // A frame without a symbol is named by its module, so the line keeps its six pieces.
        if (symbol.empty()) symbol = module;
        char head[96];
        std::snprintf(head, sizeof head, "%-4d%-35s 0x%016" PRIxPTR " ", i, module, address);
        lines.push_back(std::string(head) + symbol + " + " + std::to_string(offset));
    }
    callStackSymbols_ = std::move(lines);
    return *this;
}

}  // namespace plat
