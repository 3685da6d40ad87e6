#include "analytics/base/RUVError.h"

#include <cstdarg>
#include <memory>

#include "analytics/base/RUVLogger.h"

plat::Error RUVError::errorWithCode(int64_t code) {
    return plat::Error(kDomain, code);
}

plat::Error RUVError::errorWithCode(int64_t code, const std::optional<std::string>& description) {
    return errorWithCodeWithFailedFilePath(code, std::nullopt, description);
}

plat::Error RUVError::errorWithCodeWithFormat(int64_t code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = ruvVFormat(format, args);
    va_end(args);
    return errorWithCode(code, text);
}

plat::Error RUVError::errorWithCodeWithFailedFilePath(int64_t code, const std::optional<std::string>& path,
                                                      const std::optional<std::string>& description) {
    plat::Value::Dictionary info;
    if (description) {
        info.set(plat::Error::kLocalizedDescriptionKey, plat::Value(*description));
        if (path) info.set(kFilePathKey, plat::Value(*path));
    }
    return plat::Error(kDomain, code, std::move(info));
}

plat::Error RUVError::errorWithCodeWithFailedFilePathWithFormat(int64_t code,
                                                                const std::optional<std::string>& path,
                                                                const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = ruvVFormat(format, args);
    va_end(args);
    return errorWithCodeWithFailedFilePath(code, path, text);
}

plat::Error RUVError::errorWithCodeWithUnderlyingError(int64_t code,
                                                       const std::optional<plat::Error>& underlying,
                                                       const std::optional<std::string>& description) {
    if (!description) return plat::Error(kDomain, code);
    plat::Value::Dictionary info;
    info.set(plat::Error::kLocalizedDescriptionKey, plat::Value(*description));
    std::shared_ptr<const plat::Error> below;
    if (underlying) below = std::make_shared<const plat::Error>(*underlying);
    return plat::Error(kDomain, code, std::move(info), std::move(below));
}

plat::Error RUVError::errorWithCodeWithUnderlyingErrorWithFormat(int64_t code,
                                                                 const std::optional<plat::Error>& underlying,
                                                                 const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = ruvVFormat(format, args);
    va_end(args);
    return errorWithCodeWithUnderlyingError(code, underlying, text);
}
