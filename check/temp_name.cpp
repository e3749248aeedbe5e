#include "temp_name.h"

#include <cmath>
#include <limits>

namespace {

constexpr int floatFractionBits = 24;
constexpr double tempNameScale = 10000.0;

// Halves go to the even neighbour whatever the floating-point rounding mode happens to be.
double roundHalfToEven(double x)
{
    const double below = std::floor(x);
    const double fraction = x - below;
    if (fraction > 0.5)
        return below + 1;
    if (fraction < 0.5)
        return below;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

} // namespace

float unitFloatFromBits(std::uint32_t bits)
{
    const auto top = bits >> (32 - floatFractionBits);
    return static_cast<float>(top) / static_cast<float>(1u << floatFractionBits);
}

std::int32_t tempNameNumber(float r)
{
    if (!(r > 0.0f))
        return 0;
    if (r >= 1.0f)
        r = std::nextafter(1.0f, 0.0f);
    // A float's 24-bit significand times 10000 fits a double exactly, so halves stay halves.
    return static_cast<std::int32_t>(roundHalfToEven(static_cast<double>(r) * tempNameScale));
}

QString tempWorkstationName(float r)
{
    return QStringLiteral("TEMP") + QString::number(tempNameNumber(r));
}
