#pragma once
// The conditions of a container's rules: each compares "arg0" with "arg1" as texts or as numbers and
// answers a Boolean value. A predicate never negates and never raises; anything unusable answers false.
#include <string>

#include "tagmanager/values/ZAVFunctionCallImplementation.h"

class ZAVPredicate : public ZAVFunctionCallImplementation {
  public:
    explicit ZAVPredicate(std::string functionId);
    static const std::string& arg0Key();
    static const std::string& arg1Key();
    bool isCacheable() const override { return true; }
    // False at once when any argument is the failed-value default, or arg0/arg1 is missing.
    ZAVPValuePtr evaluate(const Properties& properties) override;
    virtual bool evaluateNoDefaultValues(const ZAVPValuePtr& arg0, const ZAVPValuePtr& arg1,
                                         const Properties& parameters) = 0;
};

class ZAVStringPredicate : public ZAVPredicate {
  public:
    using ZAVPredicate::ZAVPredicate;
    bool evaluateNoDefaultValues(const ZAVPValuePtr& arg0, const ZAVPValuePtr& arg1,
                                 const Properties& parameters) override;
    virtual bool evaluateWithArg0(const std::string& arg0, const std::string& arg1,
                                  const Properties& parameters) = 0;
};

class ZAVNumberPredicate : public ZAVPredicate {
  public:
    using ZAVPredicate::ZAVPredicate;
    bool evaluateNoDefaultValues(const ZAVPValuePtr& arg0, const ZAVPValuePtr& arg1,
                                 const Properties& parameters) override;
    // The sign of arg0 compared with arg1: -1, 0 or 1.
    virtual bool evaluateWithArg0(int comparison, const Properties& parameters) = 0;
    // Exact, also between an integer and a floating number (no rounding through a double).
    static int compare(const ZAVObjectPtr& a, const ZAVObjectPtr& b);
};

#define ZAV_STRING_PREDICATE(Class, id)                                         \
    class Class final : public ZAVStringPredicate {                             \
      public:                                                                   \
        Class() : ZAVStringPredicate(functionId()) {}                           \
        static std::string functionId() { return id; }                          \
        bool evaluateWithArg0(const std::string& arg0, const std::string& arg1, \
                              const Properties& parameters) override;           \
    };

#define ZAV_NUMBER_PREDICATE(Class, id)                                               \
    class Class final : public ZAVNumberPredicate {                                   \
      public:                                                                         \
        Class() : ZAVNumberPredicate(functionId()) {}                                 \
        static std::string functionId() { return id; }                                \
        bool evaluateWithArg0(int comparison, const Properties& parameters) override; \
    };

ZAV_STRING_PREDICATE(ZAVContains, "_cn")
ZAV_STRING_PREDICATE(ZAVEndsWith, "_ew")
ZAV_STRING_PREDICATE(ZAVEquals, "_eq")
ZAV_STRING_PREDICATE(ZAVRegex, "_re")
ZAV_STRING_PREDICATE(ZAVStartsWith, "_sw")
ZAV_NUMBER_PREDICATE(ZAVGreaterEquals, "_ge")
ZAV_NUMBER_PREDICATE(ZAVGreaterThan, "_gt")
ZAV_NUMBER_PREDICATE(ZAVLessEquals, "_le")
ZAV_NUMBER_PREDICATE(ZAVLessThan, "_lt")

#undef ZAV_STRING_PREDICATE
#undef ZAV_NUMBER_PREDICATE

// "_re" reads this optional key as its case flag.
const std::string& ZAVRegexIgnoreCaseKey();
