#pragma once
// Extensions: fields declared outside the message that carries them, under a number inside one of its
// extension ranges. The registry is the parser's lookup table; the global table maps singleton names
// ("ZAVPServingValue_ext") to the one extension object each file root makes.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "wire/ZAVWireCodedInputStream.h"
#include "wire/ZAVWireCodedOutputStream.h"
#include "wire/ZAVWireDescriptor.h"

class ZAVWireGeneratedMessage;
class ZAVWireExtensionField;
using ZAVWireExtensionFieldPtr = std::shared_ptr<const ZAVWireExtensionField>;

class ZAVWireExtensionField final : public ZAVWireSharedObject {
  public:
    explicit ZAVWireExtensionField(const ZAVWireExtensionDescription* description);

    const char* className() const override { return "ZAVWireExtensionField"; }
    const ZAVWireExtensionDescription* extensionDescription() const { return description_; }
    bool isRepeated() const { return description_->options & 0x4; }
    bool isPackable() const { return description_->options & 0x8; }
    bool mergesWithoutLength() const { return description_->options & 0x10; }
    uint32_t fieldNumber() const { return description_->fieldNumber; }
    ZAVWireType type() const { return static_cast<ZAVWireType>(description_->type); }
    bool isMessage() const { return ZAVWireTypeIsMessage(description_->type); }
    int32_t wireType() const;
    const ZAVWireDescriptor* containingType() const { return containingType_; }
    const ZAVWireClass* messageOrGroupClass() const { return messageClass_; }
    const ZAVWireExtensionDescriptor& descriptor() const { return descriptor_; }
    std::string singletonName() const { return description_->singletonName; }

    // The value a message answers when the extension is absent; raises for Message and Group.
    ZAVWireObjectPtr defaultValue() const;
    std::string description() const override;
    int compareByFieldNumber(const ZAVWireExtensionField& other) const;

    // Values as a message holds them: boxed numbers, strings, data, messages, or an array of those.
    void writeValue(const ZAVWireObjectPtr& value, ZAVWireCodedOutputStream& output) const;
    size_t computeSerializedSizeIncludingTag(const ZAVWireObjectPtr& value) const;
    ZAVWireObjectPtr readSingleValue(ZAVWireCodedInputStream& input, const ZAVWireExtensionRegistry* registry,
                                     const ZAVWireObjectPtr& existingValue) const;
    // Reads the value that follows the matched tag into the message.
    void mergeFromCodedInputStream(ZAVWireCodedInputStream& input, const ZAVWireExtensionRegistry* registry,
                                   ZAVWireGeneratedMessage& builder) const;

  private:
    void writeSingle(const ZAVWireObjectPtr& value, ZAVWireCodedOutputStream& output, bool withTag) const;
    size_t singleSize(const ZAVWireObjectPtr& value, bool withTag) const;

    const ZAVWireExtensionDescription* description_;
    const ZAVWireDescriptor* containingType_ = nullptr;
    const ZAVWireClass* messageClass_ = nullptr;
    ZAVWireObjectPtr defaultObject_;
    ZAVWireExtensionDescriptor descriptor_;
};

class ZAVWireExtensionRegistry : public ZAVWireSharedObject {
  public:
    const char* className() const override { return "ZAVWireExtensionRegistry"; }
    // Replaces an extension already there for the same containing type and number.
    void addExtension(const ZAVWireExtensionFieldPtr& extension);
    // The other's entries win on equal numbers.
    void addExtensions(const ZAVWireExtensionRegistry* other);
    const ZAVWireExtensionField* getExtension(const ZAVWireDescriptor* containingType,
                                              uint32_t fieldNumber) const;
    // The registry's own reference to it, or null.
    const ZAVWireExtensionFieldPtr* findExtension(const ZAVWireDescriptor* containingType,
                                                  uint32_t fieldNumber) const;
    size_t count() const;

  private:
    std::map<const ZAVWireDescriptor*, std::map<uint32_t, ZAVWireExtensionFieldPtr>> classMap_;
};

using ZAVWireExtensionRegistryPtr = std::shared_ptr<ZAVWireExtensionRegistry>;

// The registry slot of a file root. The registry is published before it is filled, so a lookup that comes
// back to the same root while it fills (on the same thread) sees it instead of waiting for itself; other
// threads wait until it is complete. The root's own extensions are registered globally as they are made.
class ZAVWireFileRootRegistry {
  public:
    template <typename Fill>
    const ZAVWireExtensionRegistry* get(Fill fill) {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (registry_) return registry_;
        registry_ = new ZAVWireExtensionRegistry();  // kept for the process's life, as the extensions in it
        fill(*registry_);
        return registry_;
    }
    // Makes an extension from its record and registers it globally.
    static ZAVWireExtensionFieldPtr makeExtension(const ZAVWireExtensionDescription* description);

  private:
    std::recursive_mutex mutex_;
    ZAVWireExtensionRegistry* registry_ = nullptr;
};

// The key hash of the global table (one-at-a-time over signed bytes).
uint32_t ZAVWireExtensionKeyHash(const char* key);
// Stores the extension under its singleton name, replacing an earlier one.
void ZAVWireGloballyRegisterExtension(const ZAVWireExtensionFieldPtr& extension);
// The registered extension of that singleton name ("<scope class>_<name>"), or null.
ZAVWireExtensionFieldPtr ZAVWireGlobalExtensionNamed(const char* singletonName);
