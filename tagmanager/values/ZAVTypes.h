#pragma once
// The one place that converts between container values (ZAVPValue) and plain objects, reads numbers and
// booleans out of text, gives every object its text form and hands out the default objects. Nothing here
// throws: failures are logged at error level and answered with a default, which callers recognise by
// identity (a real empty text or 0 is never mistaken for one).
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "tagmanager/values/ZAVBoolean.h"
#include "tagmanager/values/ZAVObject.h"
#include "wire/ZAVWireArray.h"

class ZAVTypes {
  public:
    ZAVTypes() = delete;

    static ZAVPValuePtr objectToValue(const ZAVObjectPtr& object);
    static ZAVObjectPtr valueToObject(const ZAVPValuePtr& value);
    // Never null.
    static ZAVObjectPtr objectToString(const ZAVObjectPtr& object);
    static ZAVObjectPtr objectToNumber(const ZAVObjectPtr& object);
    static ZAVObjectPtr objectToInt64(const ZAVObjectPtr& object);
    static ZAVObjectPtr objectToDouble(const ZAVObjectPtr& object);
    static ZAVObjectPtr objectToBoolean(const ZAVObjectPtr& object);
    static ZAVObjectPtr valueToString(const ZAVPValuePtr& value);
    // valueToString's text, without the object in between for a text value.
    static std::string valueToText(const ZAVPValuePtr& value);
    static ZAVObjectPtr valueToNumber(const ZAVPValuePtr& value);
    static ZAVObjectPtr valueToInt64(const ZAVPValuePtr& value);
    static ZAVObjectPtr valueToDouble(const ZAVPValuePtr& value);
    static ZAVObjectPtr valueToBoolean(const ZAVPValuePtr& value);

    // A String value holding the text.
    static ZAVPValuePtr textToValue(const std::string& text);
    static ZAVPValuePtr functionIdToValue(const std::string& functionId);
    static ZAVPValuePtr macroReferenceToValue(const std::string& name,
                                              const ZAVWireArray* escapings = nullptr);
    // The tokens in order (a null token ends the list, as in a variable argument list).
    static ZAVPValuePtr templateToValue(std::initializer_list<ZAVPValuePtr> tokens);

    // The value's escapings, counted without adding an empty list to a value that has none.
    static size_t escapingCount(const ZAVPValue& value);

    static bool isInt64ableNumber(const ZAVObjectPtr& object);
    static bool isDoubleableNumber(const ZAVObjectPtr& object);
    static int64_t getInt64(const ZAVObjectPtr& number);
    static double getDouble(const ZAVObjectPtr& number);

    // Locale-free: leading blanks skipped, an integer clamped to 64 bits, else a decimal double, in either
    // case ending exactly at the end of the text. "inf", "nan" and hexadecimal floats are not numbers.
    static ZAVObjectPtr numberWithString(const std::string& text);
    static ZAVObjectPtr parseNumber(const std::string& text);
    static ZAVObjectPtr parseInt64(const std::string& text);
    static ZAVObjectPtr parseDouble(const std::string& text);
    static ZAVObjectPtr parseBoolean(const std::string& text);

    static ZAVObjectPtr defaultObject() { return nullptr; }
    static const ZAVObjectPtr& defaultInt64();
    static const ZAVObjectPtr& defaultDouble();
    static const ZAVObjectPtr& defaultNumber();
    static const ZAVObjectPtr& defaultString();
    static const ZAVObjectPtr& defaultBoolean();
    static const ZAVObjectPtr& defaultList();
    static const ZAVObjectPtr& defaultMap();
    // Shared by every caller: never change it.
    static const ZAVPValuePtr& defaultValue();

    // A double truncated toward zero to 64 bits: saturated at either end, NaN gives 0.
    static int64_t saturatingInt64(double value);
};

// The value hash that agrees with value equality (installed as ZAVPValue's hash on first use of ZAVTypes).
size_t ZAVPValueHash(const ZAVPValue& value);
