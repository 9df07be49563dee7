// CRC-32 as in zlib, IEEE 802.3 and ISO-HDLC: reflected polynomial
// 0xEDB88320, preset to all ones, result inverted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zvek {

// Continues the CRC `previous` (0 to start) over `length` bytes, so that a
// text hashed in pieces gives the same value as in one call.
std::uint32_t CalcCrc32(std::uint32_t previous, const void* bytes, std::size_t length);

}  // namespace zvek
