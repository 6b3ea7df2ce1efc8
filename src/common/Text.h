#pragma once
// Text helpers shared by the layers: conversion between wide text and the
// system's 8-bit code page, and number formats of the diagnostic lines.

#include <string>
#include <string_view>

namespace karvo {

// Wide text to the system code page (Windows: the ANSI code page, characters
// it cannot represent become its default character; elsewhere: UTF-8).
std::string WideToSystem(std::wstring_view text);
// The system code page to wide text (elsewhere: well-formed UTF-8, each byte
// that belongs to no well-formed sequence becoming U+FFFD; overlong forms,
// surrogates and code points above U+10FFFF are not well formed).
std::wstring SystemToWide(std::string_view text);

// A double in the general format: the shortest form with at most 15
// significant digits, no trailing zeros, "." as decimal point, exponent only
// for very large or small magnitudes (1 -> "1", 0.25 -> "0.25").
std::string FormatGeneral(double value);

// Pads a label with blanks to `width` characters and appends ": "
// ("PortName" with 25 -> "PortName                 : ").
std::string Label(std::string_view label, std::size_t width);

}  // namespace karvo
