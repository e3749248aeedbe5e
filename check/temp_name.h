#pragma once

#include <QString>

#include <cstdint>

// A single-precision draw in [0, 1) from 32 random bits: their top 24 bits as a fraction of
// 2^24, so every result is exact and the largest is the largest float below 1, never 1.
[[nodiscard]] float unitFloatFromBits(std::uint32_t bits);

// r times 10000 in double precision, rounded to the nearest whole number with halves to the
// even neighbour, as a 32-bit integer. Meant for r in [0, 1), giving 0 to 10000; anything else
// is first brought into that range (NaN and negatives count as 0).
[[nodiscard]] std::int32_t tempNameNumber(float r);

// "TEMP" followed by tempNameNumber(r) in decimal.
[[nodiscard]] QString tempWorkstationName(float r);
