// The status server's settings: the per-user file and the command line.
#include "status/StatusConfig.h"

#include <charconv>
#include <fstream>
#include <random>
#include <sstream>

namespace karvo {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
  unsigned value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || value < 1 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

bool ValidAddress(std::string_view a) {
  return !a.empty() && a.size() <= 255 && a.find_first_of(" \t/?#@") == std::string_view::npos;
}

}  // namespace

TStatusConfigRead ParseStatusConfig(std::string_view text, TStatusOptions base) {
  TStatusConfigRead r{std::move(base), {}};
  int number = 0;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    ++number;
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    line = Trim(line);
    if (line.empty()) continue;
    const std::size_t eq = line.find('=');
    const std::string where = "status.conf line " + std::to_string(number) + ": ";
    if (eq == std::string_view::npos) {
      r.Errors.push_back(where + "\"key = value\" expected");
      continue;
    }
    const std::string_view key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    if (key == "port") {
      if (const auto port = ParsePort(value))
        r.Options.Port = port;
      else
        r.Errors.push_back(where + "the port must be a number from 1 to 65535");
    } else if (key == "bind") {
      if (ValidAddress(value))
        r.Options.Bind = std::string(value);
      else
        r.Errors.push_back(where + "the bind address is not an address");
    } else if (key == "token") {
      r.Options.Token = std::string(value);
    } else {
      r.Errors.push_back(where + "unknown key \"" + std::string(key) + "\" (port, bind and token are known)");
    }
  }
  return r;
}

TStatusConfigRead ParseStatusArguments(const std::vector<std::string>& args, TStatusOptions base) {
  TStatusConfigRead r{std::move(base), {}};
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view a = args[i];
    std::optional<std::string_view> value;
    std::string_view name = a;
    if (const std::size_t eq = a.find('='); eq != std::string_view::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
    }
    if (name != "--status-port" && name != "--status-bind") continue;
    if (!value) {
      if (i + 1 >= args.size()) {
        r.Errors.push_back(std::string(name) + " needs a value");
        continue;
      }
      value = args[++i];
    }
    if (name == "--status-port") {
      if (const auto port = ParsePort(*value))
        r.Options.Port = port;
      else
        r.Errors.push_back("--status-port: the port must be a number from 1 to 65535, not \"" + std::string(*value) +
                           "\"");
    } else if (ValidAddress(*value)) {
      r.Options.Bind = std::string(*value);
    } else {
      r.Errors.push_back("--status-bind: \"" + std::string(*value) + "\" is not an address");
    }
  }
  return r;
}

bool IsLoopbackAddress(std::string_view a) {
  if (a == "localhost" || a == "::1" || a == "[::1]") return true;
  // 127.x.y.z, each part a number up to 255.
  int parts = 0;
  for (std::size_t at = 0; at <= a.size(); ++parts) {
    std::size_t dot = a.find('.', at);
    if (dot == std::string_view::npos) dot = a.size();
    const std::string_view part = a.substr(at, dot - at);
    unsigned value = 0;
    const auto r = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || part.size() > 3 || r.ec != std::errc() || r.ptr != part.data() + part.size() || value > 255)
      return false;
    if (parts == 0 && value != 127) return false;
    at = dot + 1;
  }
  return parts == 4;
}

std::string NewStatusToken() {
  std::random_device source;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 4; ++i) {
    std::uint32_t word = source();
    for (int k = 0; k < 8; ++k, word >>= 4) token += kHex[word & 0xF];
  }
  return token;
}

std::string WithStatusToken(std::string_view text, std::string_view token) {
  std::string out;
  bool replaced = false;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    const std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    const std::size_t eq = line.find('=');
    if (eq != std::string_view::npos && Trim(line.substr(0, eq)) == "token") {
      if (!replaced) out += "token = " + std::string(token) + "\n";
      replaced = true;
      continue;
    }
    out.append(line);
    out += '\n';
  }
  if (!replaced) out += "token = " + std::string(token) + "\n";
  return out;
}

TStatusConfigRead LoadStatusOptions(const std::vector<std::string>& args) {
  const std::filesystem::path path = StatusConfigPath();
  std::string text;
  bool fileRead = false;
  if (!path.empty()) {
    std::ifstream in(path, std::ios::binary);
    if (in) {
      std::ostringstream s;
      s << in.rdbuf();
      text = s.str();
      fileRead = true;
    }
  }
  TStatusConfigRead file = ParseStatusConfig(text);
  TStatusConfigRead r = ParseStatusArguments(args, file.Options);
  r.Errors.insert(r.Errors.begin(), file.Errors.begin(), file.Errors.end());
  if (r.Options.Port && !IsLoopbackAddress(r.Options.Bind) && r.Options.Token.empty()) {
    if (path.empty()) {
      r.Errors.push_back("no per-user settings folder to keep the status token in; the status server stays off");
      r.Options.Port.reset();
      return r;
    }
    const std::string token = NewStatusToken();
    try {
      WriteStatusConfig(path, WithStatusToken(fileRead ? text : std::string(), token));
      r.Options.Token = token;
    } catch (const std::exception& e) {
      r.Errors.push_back(std::string("the status token could not be stored: ") + e.what() +
                         "; the status server stays off");
      r.Options.Port.reset();
    }
  }
  return r;
}

}  // namespace karvo
