#pragma once
// Renders containers and boxed values as indented text (one tab per level).
#include <string>

#include "kite/base/KTObject.h"

namespace kite {

class KTPrettyPrinter : public KTDataVisitor {
  public:
    explicit KTPrettyPrinter(int indentLevel = 0);

    void visitObject(const KTObject* p) override;
    void visitBool(const KTBool* p) override;
    void visitInteger(const KTInteger* p) override;
    void visitFloat(float value) override;
    void visitDouble(const KTDouble* p) override;
    void visitString(const KTString* p) override;
    void visitArray(const KTArray* p) override;
    void visitDictionary(const KTDictionary* p) override;
    void visitSet(const KTSet* p) override;

    virtual void clear();
    virtual std::string getResult() const { return m_sResult; }

    void setIndentLevel(int indentLevel);

  private:
    // The text a fresh printer at the current level gives for one item.
    std::string render(KTObject* obj) const;

    int m_nIndentLevel = 0;
    std::string m_sIndentStr;
    std::string m_sResult;
};

}  // namespace kite
