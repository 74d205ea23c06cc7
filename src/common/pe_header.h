// Whether a file is a Windows PE image, and for which processor: drvpack
// refuses a package whose driver DLLs are not, and the simulated machine
// loads no driver that is not. Header-only, so both share one rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr uint16_t kPeMachineX86 = 0x014C;  // IMAGE_FILE_MACHINE_I386
constexpr uint16_t kPeMachineX64 = 0x8664;  // IMAGE_FILE_MACHINE_AMD64

// The first bytes of a file that are enough for PeMachine: the PE header's
// offset is a 32-bit field, but linkers put the header within the first
// kilobytes.
constexpr size_t kPeHeaderReadSize = 64 * 1024;

inline uint16_t PeGet16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

// The machine field of a PE file's header (IMAGE_FILE_HEADER.Machine), or
// false when `header` does not start a PE file: "MZ", the offset of the
// "PE\0\0" signature at 0x3C, the machine right after the signature.
inline bool PeMachine(const std::string& header, uint16_t* machine) {
  constexpr size_t kNewHeaderOffsetField = 0x3C;
  if (header.size() < kNewHeaderOffsetField + 4 || header.compare(0, 2, "MZ") != 0) return false;
  const size_t offset = static_cast<size_t>(PeGet16(header, kNewHeaderOffsetField)) |
                        (static_cast<size_t>(PeGet16(header, kNewHeaderOffsetField + 2)) << 16);
  if (offset > header.size() || header.size() - offset < 6 ||
      header.compare(offset, 4, std::string("PE\0\0", 4)) != 0)
    return false;
  *machine = PeGet16(header, offset + 4);
  return true;
}
