#pragma once
// Whether and where the status server listens: the per-user file
// status.conf (lines "key = value": port, bind, token; "#" starts a
// comment) and the command line (--status-port PORT, --status-bind ADDRESS),
// which wins. Off unless a port is given; bound to loopback unless an
// address is given. An address beyond loopback needs the token, which is
// made on first use and kept in the file, readable by its owner only; a
// token in the file is asked for on loopback too.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace karvo {

struct TStatusOptions {
  std::optional<std::uint16_t> Port;  // none: the server is off
  std::string Bind = "127.0.0.1";
  std::string Token;  // from the file; empty when it has none
};

struct TStatusConfigRead {
  TStatusOptions Options;
  std::vector<std::string> Errors;  // one line each, for the program log
};

// Reads the file's text over `base`.
TStatusConfigRead ParseStatusConfig(std::string_view text, TStatusOptions base = {});
// Reads --status-port/--status-bind (also as --status-port=PORT) over
// `base`; other arguments are left alone.
TStatusConfigRead ParseStatusArguments(const std::vector<std::string>& args, TStatusOptions base);

// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackAddress(std::string_view address);

// 32 hexadecimal digits from the system's random source (128 bits).
std::string NewStatusToken();

// `text` with its token line set to `token` (replaced, or appended).
std::string WithStatusToken(std::string_view text, std::string_view token);

// The file: ${XDG_CONFIG_HOME}/TalvikAS/Karvo/status.conf, on Windows
// %APPDATA%\TalvikAS\Karvo\status.conf. Empty when there is no such folder.
std::filesystem::path StatusConfigPath();
// Writes the file whole, readable and writable by its owner only; throws
// std::runtime_error with the system's reason.
void WriteStatusConfig(const std::filesystem::path& path, std::string_view text);

// What the program does at start: reads the file (when there is one) and
// the arguments; for an address beyond loopback makes and stores the token
// when the file has none. Errors are returned, never thrown.
TStatusConfigRead LoadStatusOptions(const std::vector<std::string>& args);

}  // namespace karvo
