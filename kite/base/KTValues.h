#pragma once
// Boxed values, so that plain numbers and flags can live in the engine's containers.
#include "kite/base/KTObject.h"

namespace kite {

class KTBool : public KTObject {
  public:
    explicit KTBool(bool v) : m_bValue(v) {}
    static KTBool* create(bool v) { return ktAutorelease(new KTBool(v)); }
    bool getValue() const { return m_bValue; }
    void acceptVisitor(KTDataVisitor& visitor) override { visitor.visitBool(this); }

  private:
    bool m_bValue;
};

class KTInteger : public KTObject {
  public:
    explicit KTInteger(int v) : m_nValue(v) {}
    static KTInteger* create(int v) { return ktAutorelease(new KTInteger(v)); }
    int getValue() const { return m_nValue; }
    void acceptVisitor(KTDataVisitor& visitor) override { visitor.visitInteger(this); }

  private:
    int m_nValue;
};

class KTDouble : public KTObject {
  public:
    explicit KTDouble(double v) : m_dValue(v) {}
    static KTDouble* create(double v) { return ktAutorelease(new KTDouble(v)); }
    double getValue() const { return m_dValue; }
    void acceptVisitor(KTDataVisitor& visitor) override { visitor.visitDouble(this); }

  private:
    double m_dValue;
};

}  // namespace kite
