#pragma once
// Fields a message did not know, kept per field number with one value list per wire-type family, so they
// survive a parse and write cycle. Written in ascending field-number order, after the known fields.
// Copies and merges copy the field objects, so a later merge into one set never shows in another.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "wire/ZAVWireArray.h"
#include "wire/ZAVWireCodedInputStream.h"
#include "wire/ZAVWireCodedOutputStream.h"

class ZAVWireField;
class ZAVWireMutableField;
class ZAVWireUnknownFieldSet;
using ZAVWireFieldPtr = std::shared_ptr<ZAVWireField>;
using ZAVWireUnknownFieldSetPtr = std::shared_ptr<ZAVWireUnknownFieldSet>;

class ZAVWireField : public ZAVWireSharedObject {
  public:
    explicit ZAVWireField(int32_t number) : number_(number) {}

    const char* className() const override { return "ZAVWireField"; }
    int32_t number() const { return number_; }
    const ZAVWireMutableArrayPtr& varintList() const { return varints_; }
    const ZAVWireMutableArrayPtr& fixed32List() const { return fixed32s_; }
    const ZAVWireMutableArrayPtr& fixed64List() const { return fixed64s_; }
    const ZAVWireMutableArrayPtr& lengthDelimitedList() const { return lengthDelimited_; }
    const ZAVWireMutableArrayPtr& groupList() const { return groups_; }

    void writeToOutput(ZAVWireCodedOutputStream& output) const;
    size_t serializedSize() const;
    void writeAsMessageSetExtensionToOutput(ZAVWireCodedOutputStream& output) const;
    size_t serializedSizeAsMessageSetExtension() const;

    bool isEqual(const ZAVWireRootObject* other) const override;
    std::string description() const override;
    // An independent copy: new lists, group sets copied in turn.
    ZAVWireObjectPtr copy() const override;

  protected:
    int32_t number_;
    ZAVWireMutableArrayPtr varints_;
    ZAVWireMutableArrayPtr fixed32s_;
    ZAVWireMutableArrayPtr fixed64s_;
    ZAVWireMutableArrayPtr lengthDelimited_;
    ZAVWireMutableArrayPtr groups_;
};

class ZAVWireMutableField final : public ZAVWireField {
  public:
    explicit ZAVWireMutableField(int32_t number) : ZAVWireField(number) {}
    const char* className() const override { return "ZAVWireMutableField"; }

    void addVarint(uint64_t value);
    void addFixed32(uint32_t value);
    void addFixed64(uint64_t value);
    void addLengthDelimited(std::shared_ptr<ZAVWireData> value);
    void addGroup(ZAVWireUnknownFieldSetPtr value);
    void mergeFromField(const ZAVWireField& other);
};

using ZAVWireMutableFieldPtr = std::shared_ptr<ZAVWireMutableField>;

class ZAVWireUnknownFieldSet : public ZAVWireSharedObject, public ZAVWireSerializable {
  public:
    using Fields = std::map<int32_t, ZAVWireMutableFieldPtr>;

    ZAVWireUnknownFieldSet() = default;
    // Copies the fields.
    explicit ZAVWireUnknownFieldSet(const Fields* fields);

    const char* className() const override { return "ZAVWireUnknownFieldSet"; }
    ZAVWireObjectPtr copy() const override;
    ZAVWireObjectPtr mutableCopy() const override { return copy(); }

    bool hasField(int32_t number) const;
    ZAVWireMutableFieldPtr getField(int32_t number) const;
    size_t countOfFields() const { return fields_ ? fields_->size() : 0; }
    // Room for countOfFields() numbers.
    void getTags(int32_t* tags) const;
    // Ascending by number; empty when the set never held a field.
    std::vector<ZAVWireMutableFieldPtr> sortedFields() const;
    bool everHeldField() const { return fields_ != nullptr; }

    void addField(const ZAVWireField& field);
    ZAVWireMutableFieldPtr getFieldBuilder(int32_t number, bool create);
    void mergeField(const ZAVWireField& field);
    void mergeUnknownFields(const ZAVWireUnknownFieldSet* other);
    void mergeVarintField(int32_t number, int32_t value);
    bool mergeFieldFrom(int32_t tag, ZAVWireCodedInputStream& input);
    void mergeFromCodedInputStream(ZAVWireCodedInputStream& input);
    void mergeFromData(std::shared_ptr<const ZAVWireData> data);
    void mergeMessageSetMessage(int32_t typeId, std::shared_ptr<ZAVWireData> data);
    static bool isFieldTag(int32_t tag) { return (tag & 7) != 4; }

    void writeToCodedOutputStream(ZAVWireCodedOutputStream& output) const override;
    size_t serializedSize() const override;
    void writeAsMessageSetTo(ZAVWireCodedOutputStream& output) const;
    size_t serializedSizeAsMessageSet() const;
    std::shared_ptr<ZAVWireData> data() const;

    bool isEqual(const ZAVWireRootObject* other) const override;
    std::string description() const override;

  private:
    ZAVWireMutableFieldPtr& slotFor(int32_t number);
    std::unique_ptr<Fields> fields_;
};

// Text form of a set, each line starting with the indent; empty for a null set.
std::string ZAVWireTextFormatForUnknownFieldSet(const ZAVWireUnknownFieldSet* set, const std::string& indent);
// The quoted, escaped text form of bytes: printable ASCII as is, the six two-character escapes, else "\ooo".
std::string ZAVWireTextFormatEscapeBytes(const uint8_t* bytes, size_t length);
// The quoted, escaped text form of a string (no numeric escapes).
std::string ZAVWireTextFormatEscapeString(const std::string& utf8);
