#pragma once
// Universally unique identifiers, version 4 (random, from the kernel's generator).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

class Uuid {
  public:
    using Bytes16 = std::array<uint8_t, 16>;

    // A fresh random identifier.
    static Uuid random();
    // From the 36-character text form (either case); nothing for anything else.
    static std::optional<Uuid> parse(std::string_view text);

    explicit Uuid(const Bytes16& bytes) : bytes_(bytes) {}
    const Bytes16& bytes() const { return bytes_; }
    // "E621E1F8-C36C-495A-93FC-0C247A3E6E5F": upper case, as the platform's UUID string gives it.
    std::string string() const;
    std::string lowercaseString() const;

    bool operator==(const Uuid&) const = default;

  private:
    Bytes16 bytes_;
};

}  // namespace plat
