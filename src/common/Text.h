#pragma once
// Text helpers shared by the layers, and the program's one rule for text:
// every 8-bit string inside the program holds UTF-8 (log lines, seams,
// regional numbers and dates, error texts, paths written in messages). The
// system's 8-bit code page is met only at the edges, which convert: the
// files written as code-page text (the data export, the register dump, the
// run journal, which shares the export's lines), 8-bit system calls and
// what the system hands over in its code page. Numbers are written by
// common/Regional.h.

#include <filesystem>
#include <string>
#include <string_view>

namespace karvo {

// Wide text to UTF-8 and back. Wide text that is no character (a lone
// surrogate, a value above U+10FFFF) becomes "?"; bytes that belong to no
// well-formed UTF-8 sequence become U+FFFD, one for each byte (overlong
// forms, surrogates and code points above U+10FFFF are not well formed).
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
// The length of the well-formed UTF-8 sequence that starts at text[i] (i <
// text.size()), or 0 when none does.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

// The edges. Wide text to the system code page (Windows: the ANSI code
// page, characters it cannot represent become its default character;
// elsewhere: UTF-8) and back; UTF-8 to the system code page and back.
std::string WideToSystem(std::wstring_view text);
std::wstring SystemToWide(std::string_view text);
std::string Utf8ToSystem(std::string_view text);
std::string SystemToUtf8(std::string_view text);

// Paths of files from text, and back for messages: a file name in UTF-8
// (as the save dialog gives it) or in wide text, and a path written in
// UTF-8.
std::filesystem::path PathFromUtf8(std::string_view text);
std::filesystem::path PathFromWide(std::wstring_view text);
std::string PathText(const std::filesystem::path& path);

// Pads a label with blanks to `width` characters and appends ": "
// ("PortName" with 25 -> "PortName                 : ").
std::string Label(std::string_view label, std::size_t width);

}  // namespace karvo
