// CRC-32 as in zlib, IEEE 802.3 and ISO-HDLC: reflected polynomial
// 0xEDB88320, preset to all ones, result inverted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zvek {

// Continues the CRC `previous` (0 to start) over `length` bytes, so that a
// text hashed in pieces gives the same value as in one call.
std::uint32_t CalcCrc32(std::uint32_t previous, const void* bytes, std::size_t length);

// The bare CRC register (no preset, no final inversion), continued over
// `length` bytes. It is linear in the register and the bytes, so the
// register of a piece of a text follows from the registers of two of its
// prefixes: CalcCrc32(prev, ...) == ~Crc32Register(~prev, ...).
std::uint32_t Crc32Register(std::uint32_t reg, const void* bytes, std::size_t length);

// What a register becomes over `length` zero bytes (multiplication by
// x^(8 length) modulo the polynomial), set up in O(log length). A use costs
// a few dozen steps; after Tabulate() it is four table look-ups, which pays
// when many pieces of one length are checked.
class Crc32Shift {
public:
    explicit Crc32Shift(std::uint64_t length);
    std::uint32_t operator()(std::uint32_t reg) const;
    void Tabulate();
    bool tabulated() const { return tabulated_; }

private:
    std::uint32_t factor_;
    bool tabulated_ = false;
    std::uint32_t table_[4][256];
};

}  // namespace zvek
