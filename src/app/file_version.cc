#include "app/file_version.h"

#include <elf.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>

namespace qelvu {
namespace {

constexpr std::string_view kNoteSection = ".note.qelvu.version";
constexpr std::string_view kNoteOwner{"Qelvu\0", 6};
constexpr uint32_t kNoteType = 1;

// Reads ranges of a file whose size is known, refusing any range that runs past its end, so a
// damaged or hostile header can never make the reader go astray.
class FileReader {
 public:
  explicit FileReader(const std::string& name) : file_(name, std::ios::binary) {
    if (file_) {
      file_.seekg(0, std::ios::end);
      size_ = static_cast<uint64_t>(file_.tellg());
    }
  }
  bool ok() const { return static_cast<bool>(file_); }

  std::optional<std::string> Read(uint64_t offset, uint64_t count) {
    if (offset > size_ || count > size_ - offset) return std::nullopt;
    std::string bytes(count, '\0');
    file_.seekg(static_cast<std::streamoff>(offset));
    if (!file_.read(bytes.data(), static_cast<std::streamsize>(count))) return std::nullopt;
    return bytes;
  }

  template <typename T>
  std::optional<T> ReadStruct(uint64_t offset) {
    const auto bytes = Read(offset, sizeof(T));
    if (!bytes) return std::nullopt;
    T value;
    std::memcpy(&value, bytes->data(), sizeof(T));
    return value;
  }

 private:
  std::ifstream file_;
  uint64_t size_ = 0;
};

// Finds the version descriptor among the notes of the section's bytes.
std::string VersionFromNotes(std::string_view notes) {
  const auto align4 = [](uint64_t n) { return (n + 3) & ~uint64_t{3}; };
  while (notes.size() >= 12) {
    uint32_t header[3];
    std::memcpy(header, notes.data(), sizeof header);
    const uint64_t name_size = header[0], descriptor_size = header[1];
    const uint64_t name_space = align4(name_size), descriptor_space = align4(descriptor_size);
    if (12 + name_space + descriptor_space > notes.size()) return {};
    const std::string_view name = notes.substr(12, name_size);
    if (header[2] == kNoteType && name == kNoteOwner && descriptor_size == 8) {
      uint32_t words[2];
      std::memcpy(words, notes.data() + 12 + name_space, sizeof words);
      return std::to_string(words[0] >> 16) + "." + std::to_string(words[0] & 0xFFFF) + "." +
             std::to_string(words[1] >> 16) + "." + std::to_string(words[1] & 0xFFFF);
    }
    notes.remove_prefix(12 + name_space + descriptor_space);
  }
  return {};
}

template <typename Ehdr, typename Shdr>
std::string VersionFromElf(FileReader& file) {
  const auto header = file.ReadStruct<Ehdr>(0);
  if (!header || header->e_shentsize != sizeof(Shdr) || header->e_shnum == 0) return {};
  const auto section = [&](uint64_t index) {
    return file.ReadStruct<Shdr>(header->e_shoff + index * sizeof(Shdr));
  };
  const auto names = section(header->e_shstrndx);
  if (!names) return {};
  const auto name_table = file.Read(names->sh_offset, names->sh_size);
  if (!name_table) return {};
  for (uint64_t i = 0; i < header->e_shnum; ++i) {
    const auto candidate = section(i);
    if (!candidate || candidate->sh_name >= name_table->size()) continue;
    if (std::string_view(name_table->c_str() + candidate->sh_name) != kNoteSection) continue;
    const auto notes = file.Read(candidate->sh_offset, candidate->sh_size);
    return notes ? VersionFromNotes(*notes) : std::string();
  }
  return {};
}

}  // namespace

std::string GetFileVersionString(const std::string& file_name) {
  FileReader file(file_name);
  if (!file.ok()) return {};
  const auto ident = file.Read(0, EI_NIDENT);
  if (!ident || std::memcmp(ident->data(), ELFMAG, SELFMAG) != 0) return {};
  // The words are read in this machine's byte order; a foreign-endian file is not ours.
  constexpr unsigned char kNativeData =
      std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
  if (static_cast<unsigned char>((*ident)[EI_DATA]) != kNativeData) return {};
  switch ((*ident)[EI_CLASS]) {
    case ELFCLASS64:
      return VersionFromElf<Elf64_Ehdr, Elf64_Shdr>(file);
    case ELFCLASS32:
      return VersionFromElf<Elf32_Ehdr, Elf32_Shdr>(file);
    default:
      return {};
  }
}

}  // namespace qelvu
