#pragma once
// A byte string as an engine object.
#include <cstdarg>
#include <string>

#include "kite/base/KTObject.h"

namespace kite {

class KTString : public KTObject {
  public:
    // Formatted output is cut to fit this buffer, terminating NUL included.
    static constexpr size_t kMaxFormatLength = 100 * 1024;

    KTString() = default;
    explicit KTString(const char* str) : m_sString(str ? str : "") {}
    explicit KTString(const std::string& str) : m_sString(str) {}

    static KTString* create(const std::string& str);
    // Returns the string also when formatting fails; its text then stays empty.
    static KTString* createWithFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

    bool initWithFormatAndValist(const char* format, va_list args);

    const char* getCString() const { return m_sString.c_str(); }
    const std::string& getString() const { return m_sString; }
    uint32_t length() const { return static_cast<uint32_t>(m_sString.size()); }

    int intValue() const;
    double doubleValue() const;
    // False only for an empty text, "0" and "false".
    bool boolValue() const;

    KTObject* copyWithZone(KTZone* zone) override;
    bool isEqual(const KTObject* other) override;
    void acceptVisitor(KTDataVisitor& visitor) override;

  private:
    std::string m_sString;
};

}  // namespace kite
