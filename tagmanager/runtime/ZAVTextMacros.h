#pragma once
// The macros that compute a text from their arguments: re-encoding ("_enc"), digests ("_hsh"), joining
// lists and maps ("_jn") and extracting a regular-expression group ("_reg"). All cacheable; every failure
// is logged and answered with the default value.
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/base/Value.h"
#include "tagmanager/values/ZAVFunctionCallImplementation.h"

class ZAVEncode : public ZAVFunctionCallImplementation {
  public:
    ZAVEncode() : ZAVFunctionCallImplementation(functionId(), {arg0Key()}) {}
    static std::string functionId() { return "_enc"; }
    static std::string arg0Key() { return "arg0"; }
    static std::string inputFormatKey() { return "input_format"; }
    static std::string outputFormatKey() { return "output_format"; }
    static std::string noPaddingKey() { return "no_padding"; }
    bool isCacheable() const override { return true; }
    ZAVPValuePtr evaluate(const Properties& properties) override;
};

class ZAVHashAlgorithm {
  public:
    virtual ~ZAVHashAlgorithm() = default;
    virtual plat::Bytes hashData(const plat::Bytes& data) const = 0;
};

#define ZAV_HASH_ALGORITHM(Class)                                     \
    class Class final : public ZAVHashAlgorithm {                     \
      public:                                                         \
        plat::Bytes hashData(const plat::Bytes& data) const override; \
    };
ZAV_HASH_ALGORITHM(ZAVMD5HashAlgorithm)
ZAV_HASH_ALGORITHM(ZAVSha1HashAlgorithm)
ZAV_HASH_ALGORITHM(ZAVSha256HashAlgorithm)
ZAV_HASH_ALGORITHM(ZAVSha384HashAlgorithm)
ZAV_HASH_ALGORITHM(ZAVSha512HashAlgorithm)
#undef ZAV_HASH_ALGORITHM

class ZAVHashMacro : public ZAVFunctionCallImplementation {
  public:
    using Algorithms = std::map<std::string, std::shared_ptr<const ZAVHashAlgorithm>>;
    ZAVHashMacro();
    static std::string functionId() { return "_hsh"; }
    static std::string arg0Key() { return "arg0"; }
    static std::string algorithmKey() { return "algorithm"; }
    static std::string inputFormatKey() { return "input_format"; }
    bool isCacheable() const override { return true; }
    ZAVPValuePtr evaluate(const Properties& properties) override;
    // Raises "NoSuchAlgorithmException" for a name the map does not hold.
    plat::Bytes hash(const plat::Bytes& data, const std::string& algorithm) const;
    void setHashAlgorithms(Algorithms algorithms) { hashAlgorithms_ = std::move(algorithms); }
    const Algorithms& hashAlgorithms() const { return hashAlgorithms_; }

  private:
    Algorithms hashAlgorithms_;
};

class ZAVJoinerMacro : public ZAVFunctionCallImplementation {
  public:
    enum class EscapeType { None, Url, Backslash };
    ZAVJoinerMacro() : ZAVFunctionCallImplementation(functionId(), {arg0Key()}) {}
    static std::string functionId() { return "_jn"; }
    static std::string arg0Key() { return "arg0"; }
    static std::string itemSeparatorKey() { return "item_separator"; }
    static std::string keyValueSeparatorKey() { return "key_value_separator"; }
    static std::string escapeKey() { return "escape"; }
    bool isCacheable() const override { return true; }
    ZAVPValuePtr evaluate(const Properties& properties) override;
    // One entry per character (a UTF-8 sequence counts as one).
    static void addTo(std::set<std::string>& set, const std::string& chars);
    static std::string escape(const std::string& text, EscapeType type,
                              const std::set<std::string>& charsToBackslashEscape);
};

class ZAVRegexGroup : public ZAVFunctionCallImplementation {
  public:
    ZAVRegexGroup() : ZAVFunctionCallImplementation(functionId(), {toMatchKey(), regexKey()}) {}
    static std::string functionId() { return "_reg"; }
    static std::string toMatchKey() { return "arg0"; }
    static std::string regexKey() { return "arg1"; }
    static std::string ignoreCaseKey() { return "ignore_case"; }
    static std::string groupKey() { return "group"; }
    bool isCacheable() const override { return true; }
    ZAVPValuePtr evaluate(const Properties& properties) override;
};
