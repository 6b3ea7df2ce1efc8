#pragma once
// Text helpers shared by the layers: conversion between wide text and the
// system's 8-bit code page, and the labels of the diagnostic lines. Numbers
// are written by common/Regional.h.

#include <filesystem>
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
// UTF-8 (the regional settings' text) to the system code page.
std::string Utf8ToSystem(std::string_view text);

// Paths of files from text, and back for messages: a file name in the
// system code page (as the save dialog gives it) or in wide text, and a
// path written in the system code page.
std::filesystem::path PathFromSystem(std::string_view text);
std::filesystem::path PathFromWide(std::wstring_view text);
std::string PathText(const std::filesystem::path& path);

// Pads a label with blanks to `width` characters and appends ": "
// ("PortName" with 25 -> "PortName                 : ").
std::string Label(std::string_view label, std::size_t width);

}  // namespace karvo
