#include "kite/base/KTString.h"

#include <cstdio>
#include <cstdlib>

namespace kite {

KTString* KTString::create(const std::string& str) {
    return ktAutorelease(new KTString(str));
}

KTString* KTString::createWithFormat(const char* format, ...) {
    KTString* s = create("");
    va_list args;
    va_start(args, format);
    s->initWithFormatAndValist(format, args);
    va_end(args);
    return s;
}

bool KTString::initWithFormatAndValist(const char* format, va_list args) {
    if (!format) return false;
    char* buf = static_cast<char*>(std::malloc(kMaxFormatLength));
    if (!buf) return false;
    int n = std::vsnprintf(buf, kMaxFormatLength, format, args);
    if (n >= 0) m_sString.assign(buf, static_cast<size_t>(n) < kMaxFormatLength ? n : kMaxFormatLength - 1);
    std::free(buf);
    return true;
}

int KTString::intValue() const {
    return m_sString.empty() ? 0 : std::atoi(m_sString.c_str());
}

double KTString::doubleValue() const {
    return m_sString.empty() ? 0.0 : std::atof(m_sString.c_str());
}

bool KTString::boolValue() const {
    return !(m_sString.empty() || m_sString == "0" || m_sString == "false");
}

KTObject* KTString::copyWithZone(KTZone*) {
    return new KTString(m_sString.c_str());
}

bool KTString::isEqual(const KTObject* other) {
    auto* s = dynamic_cast<const KTString*>(other);
    return s && s->m_sString == m_sString;
}

void KTString::acceptVisitor(KTDataVisitor& visitor) {
    visitor.visitString(this);
}

}  // namespace kite
