// Routing, query strings and the token of the status server's requests.
#include "status/StatusRequest.h"

#include <algorithm>

namespace karvo {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

TStatusResponse Plain(int status, std::string body) {
  TStatusResponse r;
  r.Status = status;
  r.ContentType = "text/plain; charset=utf-8";
  r.Body = std::move(body);
  return r;
}

}  // namespace

std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

TStatusTarget ParseStatusTarget(std::string_view target) {
  TStatusTarget t;
  const std::size_t q = target.find('?');
  const std::string_view rawPath = target.substr(0, q);
  const std::string_view query = q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
  const std::optional<std::string> path = PercentDecode(rawPath, false);
  if (!path)
    t.BadQuery = true;
  else if (*path == "/")
    t.Route = TStatusRoute::Page;
  else if (*path == "/status.json")
    t.Route = TStatusRoute::Json;
  else if (*path == "/metrics")
    t.Route = TStatusRoute::Metrics;
  else if (*path == "/chart.png")
    t.Route = TStatusRoute::Chart;

  bool hoursSeen = false, tokenConflict = false;
  std::size_t start = 0;
  while (start <= query.size() && !query.empty()) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view pair = query.substr(start, end - start);
    const std::size_t eq = pair.find('=');
    const std::optional<std::string> key = PercentDecode(pair.substr(0, eq), true);
    const std::optional<std::string> value =
        eq == std::string_view::npos ? std::optional<std::string>("") : PercentDecode(pair.substr(eq + 1), true);
    if (!key || !value) {
      t.BadQuery = true;
    } else if (*key == "token") {
      // Two different tokens: neither is taken.
      if (t.Token && *t.Token != *value) tokenConflict = t.BadQuery = true;
      t.Token = tokenConflict ? std::string() : *value;
    } else if (*key == "hours" && t.Route == TStatusRoute::Chart) {
      if (hoursSeen) t.BadQuery = true;
      hoursSeen = true;
      if (*value == "1")
        t.Range = TStatusChartRange::Hour;
      else if (*value == "8")
        t.Range = TStatusChartRange::EightHours;
      else if (*value == "all")
        t.Range = TStatusChartRange::All;
      else
        t.BadQuery = true;
    }
    // Other keys (the page's cache breaker "seq") are ignored.
    start = end + 1;
  }
  return t;
}

std::optional<std::string> BearerToken(std::string_view authorization) {
  const std::size_t sp = authorization.find(' ');
  if (sp == std::string_view::npos || !EqualsIgnoringCase(authorization.substr(0, sp), "bearer")) return std::nullopt;
  std::string_view token = authorization.substr(sp + 1);
  while (!token.empty() && (token.front() == ' ' || token.front() == '\t')) token.remove_prefix(1);
  while (!token.empty() && (token.back() == ' ' || token.back() == '\t')) token.remove_suffix(1);
  if (token.empty()) return std::nullopt;
  return std::string(token);
}

bool SameToken(std::string_view a, std::string_view b) {
  unsigned diff = a.size() == b.size() ? 0u : 1u;
  const std::size_t n = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    diff |= static_cast<unsigned>(x ^ y);
  }
  return diff == 0;
}

TStatusResponse ChartResponse(const std::shared_ptr<const std::string>& png) {
  if (!png) {
    TStatusResponse r = Plain(503, "The chart is not ready yet.\n");
    r.Headers.emplace_back("Retry-After", "2");
    return r;
  }
  TStatusResponse r;
  r.ContentType = "image/png";
  r.Body = *png;
  r.Headers.emplace_back("Cache-Control", "no-cache");
  return r;
}

TStatusResponse RespondToStatusRequest(const TStatusRequest& request, const TStatusSnapshot* snapshot,
                                       std::string_view requiredToken, TDateTime nowUtc) {
  const TStatusTarget target = ParseStatusTarget(request.Target);
  if (!requiredToken.empty()) {
    std::optional<std::string> given = target.Token;
    int authorizations = 0;
    for (const auto& [name, value] : request.Headers) {
      if (!EqualsIgnoringCase(name, "authorization")) continue;
      ++authorizations;
      if (std::optional<std::string> bearer = BearerToken(value)) given = bearer;
    }
    if (authorizations > 1 || !given || !SameToken(*given, requiredToken)) {
      TStatusResponse r = Plain(401, "Unauthorized\n");
      r.Headers.emplace_back("WWW-Authenticate", "Bearer");
      return r;
    }
  }
  if (request.Method != "GET") {
    TStatusResponse r = Plain(405, "Only GET is served.\n");
    r.Headers.emplace_back("Allow", "GET");
    return r;
  }
  if (target.Route == TStatusRoute::NotFound)
    return Plain(404, "Not found. Served: /, /status.json, /metrics, /chart.png\n");
  if (target.BadQuery) return Plain(400, "Bad query: hours is 1, 8 or all; each key at most once.\n");
  if (!snapshot) {
    TStatusResponse r = Plain(503, "The program has not published its status yet.\n");
    r.Headers.emplace_back("Retry-After", "2");
    return r;
  }
  TStatusResponse r;
  r.Headers.emplace_back("Cache-Control", "no-store");
  switch (target.Route) {
    case TStatusRoute::Page:
      r.ContentType = "text/html; charset=utf-8";
      r.Body = RenderStatusPage(*snapshot, nowUtc);
      r.Headers.emplace_back("Content-Security-Policy",
                             "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                             "img-src 'self'; connect-src 'self'");
      break;
    case TStatusRoute::Json:
      r.ContentType = "application/json";
      r.Body = RenderStatusJson(*snapshot, nowUtc);
      break;
    case TStatusRoute::Metrics:
      r.ContentType = "text/plain; version=0.0.4; charset=utf-8";
      r.Body = RenderStatusMetrics(*snapshot, nowUtc);
      break;
    case TStatusRoute::Chart: {
      const auto& png = snapshot->ChartPng[static_cast<std::size_t>(target.Range)];
      TStatusResponse chart = ChartResponse(png);
      if (!png) chart.ChartPending = target.Range;
      return chart;
    }
    case TStatusRoute::NotFound:
      break;
  }
  r.Headers.emplace_back("X-Content-Type-Options", "nosniff");
  return r;
}

}  // namespace karvo
