#include "kite/base/KTPrettyPrinter.h"

#include <cstdio>

#include "kite/base/KTArray.h"
#include "kite/base/KTDictionary.h"
#include "kite/base/KTSet.h"
#include "kite/base/KTString.h"
#include "kite/base/KTValues.h"

namespace kite {

namespace {
template <typename... Args>
std::string format(const char* fmt, Args... args) {
    int n = std::snprintf(nullptr, 0, fmt, args...);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, fmt, args...);
    return out;
}
}  // namespace

KTPrettyPrinter::KTPrettyPrinter(int indentLevel) {
    setIndentLevel(indentLevel);
}

void KTPrettyPrinter::clear() {
    m_sResult.clear();
}

void KTPrettyPrinter::setIndentLevel(int indentLevel) {
    m_nIndentLevel = indentLevel;
    m_sIndentStr.assign(indentLevel > 0 ? static_cast<size_t>(indentLevel) : 0, '\t');
}

std::string KTPrettyPrinter::render(KTObject* obj) const {
    KTPrettyPrinter v(m_nIndentLevel);
    obj->acceptVisitor(v);
    return v.getResult();
}

void KTPrettyPrinter::visitObject(const KTObject* p) {
    m_sResult += format("%p", static_cast<const void*>(p));
}

void KTPrettyPrinter::visitBool(const KTBool* p) {
    m_sResult += p->getValue() ? "true" : "false";
}

void KTPrettyPrinter::visitInteger(const KTInteger* p) {
    m_sResult += format("%d", p->getValue());
}

void KTPrettyPrinter::visitFloat(float value) {
    m_sResult += format("%f", static_cast<double>(value));
}

void KTPrettyPrinter::visitDouble(const KTDouble* p) {
    m_sResult += format("%lf", p->getValue());
}

void KTPrettyPrinter::visitString(const KTString* p) {
    m_sResult += p->getString();
}

void KTPrettyPrinter::visitArray(const KTArray* p) {
    m_sResult += "\n" + m_sIndentStr + "<array>\n";
    setIndentLevel(m_nIndentLevel + 1);
    for (uint32_t i = 0; i < p->count(); ++i) {
        KTObject* obj = p->objectAtIndex(i);
        if (!obj) break;
        if (i > 0) m_sResult += "\n";
        m_sResult += format("%s%02u: ", m_sIndentStr.c_str(), i);
        m_sResult += render(obj);
    }
    setIndentLevel(m_nIndentLevel - 1);
    m_sResult += "\n" + m_sIndentStr + "</array>";
}

void KTPrettyPrinter::visitDictionary(const KTDictionary* p) {
    m_sResult += "\n" + m_sIndentStr + "<dict>\n";
    setIndentLevel(m_nIndentLevel + 1);
    bool first = true;
    for (KTDictionaryEntry* e : *p) {
        if (!first) m_sResult += "\n";
        first = false;
        m_sResult += m_sIndentStr + e->getStrKey() + ": ";
        m_sResult += render(e->getObject());
    }
    setIndentLevel(m_nIndentLevel - 1);
    m_sResult += "\n" + m_sIndentStr + "</dict>";
}

void KTPrettyPrinter::visitSet(const KTSet* p) {
    m_sResult += "\n" + m_sIndentStr + "<set>\n";
    setIndentLevel(m_nIndentLevel + 1);
    bool first = true;
    for (KTObject* obj : *p) {
        if (!first) m_sResult += "\n";
        first = false;
        m_sResult += m_sIndentStr + render(obj);
    }
    setIndentLevel(m_nIndentLevel - 1);
    m_sResult += "\n" + m_sIndentStr + "</set>\n";
}

}  // namespace kite
