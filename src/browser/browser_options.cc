#include "browser/browser_options.h"

#include <array>

namespace qelvu {
namespace {

// Flag of each member, indexed by the member's position in its enumeration.
constexpr std::array<uint32_t, 21> kUserInterfaceFlags = {
    0x1,   0x2,    0x4,    0x8,    0x10,    0x20,    0x40,    0x80,    0x100,    0x200,   0x400,
    0x800, 0x1000, 0x2000, 0x4000, 0x10000, 0x20000, 0x40000, 0x80000, 0x100000, 0x200000};

constexpr std::array<uint32_t, 19> kDownloadControlFlags = {
    0x10,    0x20,       0x40,       0x80,       0x100,     0x200,   0x400,
    0x800,   0x1000,     0x2000,     0x4000,     0x8000,    0x10000, 0x20000,
    0x40000, 0x10000000, 0x20000000, 0x40000000, 0x80000000};

template <typename E, size_t N>
uint32_t FlagWord(TOptionSet<E> options, const std::array<uint32_t, N>& flags) {
  uint32_t word = 0;
  for (size_t i = 0; i < N; ++i) {
    if (options.Contains(static_cast<E>(i))) word += flags[i];
  }
  return word;
}

}  // namespace

uint32_t UserInterfaceFlagWord(TUserInterfaceOptions options) {
  return FlagWord(options, kUserInterfaceFlags);
}

uint32_t DownloadControlFlagWord(TDownloadControlOptions options) {
  return FlagWord(options, kDownloadControlFlags);
}

}  // namespace qelvu
