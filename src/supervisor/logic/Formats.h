#pragma once
// How the supervisor writes numbers and units for the operator. Every number
// the tick shows with decimals goes through here, so the regional format is
// decided in one place.

#include <cstdint>
#include <string>

#include "common/Regional.h"

namespace karvo {

// The pattern "0.0": one decimal with the regional decimal separator.
std::string FormatOneDecimal(double value, const TRegionalSettings& regional);

// Tenths of a per cent as a whole per cent, halves to the even neighbour
// (725 -> 72, 735 -> 74).
std::int32_t TenthsToWholePercent(std::int32_t tenths);

// "ºC" (UTF-8, as every text of the program).
std::string DegreesCelsius();

}  // namespace karvo
