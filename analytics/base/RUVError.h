#pragma once
// Every analytics error: a plat::Error in the SDK's one domain with the caller's code. The user info is
// built from the pairs in order and ends at the first absent value, so without a description neither the
// file path nor the underlying error is kept.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/base/Error.h"

class RUVError {
  public:
    static constexpr const char* kDomain = "org.potemaru.analytics.error";
    static constexpr const char* kFilePathKey = "NSFilePath";

    static plat::Error errorWithCode(int64_t code);
    static plat::Error errorWithCode(int64_t code, const std::optional<std::string>& description);
    static plat::Error errorWithCodeWithFormat(int64_t code, const char* format, ...)
        __attribute__((format(printf, 2, 3)));
    static plat::Error errorWithCodeWithFailedFilePath(int64_t code, const std::optional<std::string>& path,
                                                       const std::optional<std::string>& description);
    static plat::Error errorWithCodeWithFailedFilePathWithFormat(int64_t code,
                                                                 const std::optional<std::string>& path,
                                                                 const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    static plat::Error errorWithCodeWithUnderlyingError(int64_t code,
                                                        const std::optional<plat::Error>& underlying,
                                                        const std::optional<std::string>& description);
    static plat::Error errorWithCodeWithUnderlyingErrorWithFormat(
        int64_t code, const std::optional<plat::Error>& underlying, const char* format, ...)
        __attribute__((format(printf, 3, 4)));

    RUVError() = delete;
};
