// A small set of enumeration members (members numbered 0..31), stored as one bit per member and
// compared as a whole: the option and flag sets of the matcher and the browser host.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace qelvu {

template <typename E>
class EnumSet {
 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> members) {
    for (E member : members) Include(member);
  }

  constexpr bool Contains(E member) const { return (bits_ & Bit(member)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr EnumSet& Include(E member) {
    bits_ |= Bit(member);
    return *this;
  }
  constexpr EnumSet& Exclude(E member) {
    bits_ &= ~Bit(member);
    return *this;
  }
  constexpr bool operator==(const EnumSet&) const = default;

 private:
  static constexpr std::uint32_t Bit(E member) {
    return std::uint32_t{1} << static_cast<int>(member);
  }
  std::uint32_t bits_ = 0;
};

}  // namespace qelvu
