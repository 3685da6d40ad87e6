#pragma once
// Errors and named exceptions as the SDKs report them.
// An Error is a value: a domain, a code and a user-info dictionary whose "NSLocalizedDescription" entry
// carries the text shown to people; an underlying error may hang below it.
// An Exception is thrown: a name ("NSInvalidArgumentException", "InvalidProtocolBuffer", ...), a reason
// and optional user info.
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Value.h"

namespace plat {

class Error {
  public:
    static constexpr const char* kLocalizedDescriptionKey = "NSLocalizedDescription";

    Error() = default;
    Error(std::string domain, int64_t code, Value::Dictionary userInfo = {},
          std::shared_ptr<const Error> underlying = nullptr);
    // Shorthand for an error whose user info holds only the localized description.
    static Error withDescription(std::string domain, int64_t code, std::string description);

    const std::string& domain() const { return domain_; }
    int64_t code() const { return code_; }
    const Value::Dictionary& userInfo() const { return userInfo_; }
    // The user info's description, or "The operation couldn't be completed. (<domain> error <code>.)".
    std::string localizedDescription() const;
    const std::shared_ptr<const Error>& underlyingError() const { return underlying_; }

    bool operator==(const Error& other) const;

  private:
    std::string domain_;
    int64_t code_ = 0;
    Value::Dictionary userInfo_;
    std::shared_ptr<const Error> underlying_;
};

class Exception : public std::exception {
  public:
    Exception(std::string name, std::string reason, Value::Dictionary userInfo = {});

    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }
    const Value::Dictionary& userInfo() const { return userInfo_; }
    // "<name>: <reason>"
    const char* what() const noexcept override { return what_.c_str(); }

    // One line per frame, innermost first: "<index> <module> 0x<address> <symbol> + <offset>". Empty unless
    // captureCallStack() ran (a raiser that wants its trace reported calls it before throwing).
    const std::vector<std::string>& callStackSymbols() const { return callStackSymbols_; }
    void setCallStackSymbols(std::vector<std::string> lines) { callStackSymbols_ = std::move(lines); }
    // Records the calling thread's stack (at most 64 frames) as the call-stack lines.
    Exception& captureCallStack();

  private:
    std::string name_;
    std::string reason_;
    Value::Dictionary userInfo_;
    std::string what_;
    std::vector<std::string> callStackSymbols_;
};

}  // namespace plat
