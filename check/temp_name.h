#pragma once

#include <QString>

#include <cstdint>

// A single-precision draw in [0, 1) from 32 random bits; never 1, whatever the bits.
[[nodiscard]] float unitFloatFromBits(std::uint32_t bits);

// r times 10000 in double precision, rounded to the nearest whole number with halves to the
// even neighbour, as a 32-bit integer.
[[nodiscard]] std::int32_t tempNameNumber(float r);

// "TEMP" followed by tempNameNumber(r) in decimal.
[[nodiscard]] QString tempWorkstationName(float r);
