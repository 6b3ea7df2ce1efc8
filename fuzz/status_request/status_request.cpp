// The status server's side of a request: the request target (path and
// query string) and the header fields as the HTTP library hands them over.
// Whatever arrives, the answer is one of the known statuses; 200 comes only
// for one of the four paths, by GET, with the right token when one is asked
// for; a 401 tells nothing; the JSON and metrics of the snapshot are
// answered whole; percent-decoding is undone by encoding.
//
// Input: one byte of flags (bit 0: a token is asked for; bits 1-2: the
// method), then lines: the request target, then header fields "Name: value",
// one a line.

#include <string>
#include <string_view>

#include "fuzz/FuzzInput.h"
#include "status/StatusRequest.h"

using karvo::fuzz::Input;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace karvo;
  Input in(data, size);
  const std::uint8_t flags = in.Byte();
  const std::vector<std::uint8_t> rest = in.Bytes(in.Left());
  const std::string text(rest.begin(), rest.end());
  static const char* const kMethods[] = {"GET", "POST", "HEAD", "get"};
  TStatusRequest request;
  request.Method = kMethods[(flags >> 1) & 3];
  std::size_t at = text.find('\n');
  request.Target = text.substr(0, at);
  while (at != std::string::npos) {
    const std::size_t next = text.find('\n', at + 1);
    const std::string line = text.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
    const std::size_t colon = line.find(':');
    request.Headers.emplace_back(line.substr(0, colon), colon == std::string::npos ? "" : line.substr(colon + 1));
    at = next;
  }
  const std::string token = (flags & 1) ? "0123456789abcdef0123456789abcdef" : "";

  TStatusSnapshot snapshot;
  snapshot.FurnaceName = request.Target;  // outside text in the label and the JSON too
  snapshot.Temperature = 100.5;
  snapshot.ChartPng[0] = std::make_shared<const std::string>("png");
  const TStatusResponse r = RespondToStatusRequest(request, &snapshot, token, 46000.0);

  FUZZ_CHECK(r.Status == 200 || r.Status == 400 || r.Status == 401 || r.Status == 404 || r.Status == 405 ||
             r.Status == 503);
  const TStatusTarget target = ParseStatusTarget(request.Target);
  if (r.Status == 200) {
    FUZZ_CHECK(request.Method == "GET");
    FUZZ_CHECK(target.Route != TStatusRoute::NotFound && !target.BadQuery);
    if (target.Route == TStatusRoute::Json) FUZZ_CHECK(r.Body == RenderStatusJson(snapshot, 46000.0));
    if (target.Route == TStatusRoute::Metrics) FUZZ_CHECK(r.Body == RenderStatusMetrics(snapshot, 46000.0));
  }
  if (r.Status == 401) FUZZ_CHECK(!token.empty() && r.Body == "Unauthorized\n");
  if (!token.empty() && r.Status != 401) {
    bool bearer = false;
    for (const auto& [name, value] : request.Headers)
      if (const auto t = BearerToken(value)) bearer = bearer || *t == token;
    FUZZ_CHECK(bearer || target.Token == token);
  }
  // The JSON never carries a raw "<" (it stands inside the page's script).
  const std::string json = RenderStatusJson(snapshot, 46000.0);
  FUZZ_CHECK(json.find('<') == std::string::npos);
  // Decoding undoes encoding.
  std::string encoded;
  static const char kHex[] = "0123456789ABCDEF";
  for (const unsigned char c : request.Target) {
    encoded += '%';
    encoded += kHex[c >> 4];
    encoded += kHex[c & 15];
  }
  const auto decoded = PercentDecode(encoded, true);
  FUZZ_CHECK(decoded && *decoded == request.Target);
  return 0;
}
