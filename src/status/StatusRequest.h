#pragma once
// The status server's side of a request, after the HTTP library has read
// it: the method, the request target as sent (path and query, still
// percent-encoded) and the header fields. Decides the answer from the
// snapshot alone: there is no write path of any kind, and no file or
// directory is ever served.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "status/StatusSnapshot.h"

namespace karvo {

struct TStatusRequest {
  std::string Method;  // "GET", ...
  std::string Target;  // "/chart.png?hours=8"
  std::vector<std::pair<std::string, std::string>> Headers;
};

enum class TStatusRoute { Page, Json, Metrics, Chart, NotFound };

struct TStatusTarget {
  TStatusRoute Route = TStatusRoute::NotFound;
  TStatusChartRange Range = TStatusChartRange::Hour;
  bool BadQuery = false;             // e.g. hours=3 on the chart
  std::optional<std::string> Token;  // ?token=
};

// The path and query of a request target. The path must be one of the four
// exactly (after percent-decoding); anything else is NotFound.
TStatusTarget ParseStatusTarget(std::string_view target);

// Percent-decodes `text` ('+' as a blank when `plusIsSpace`); none when an
// escape is malformed.
std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace);

// The token of an "Authorization: Bearer <token>" value.
std::optional<std::string> BearerToken(std::string_view authorization);

// Compares in time independent of where the texts differ.
bool SameToken(std::string_view a, std::string_view b);

struct TStatusResponse {
  int Status = 200;
  std::string ContentType;
  std::string Body;
  std::vector<std::pair<std::string, std::string>> Headers;
  // The chart of this range is not in the snapshot yet (the answer is 503):
  // the server asks the program to draw it.
  std::optional<TStatusChartRange> ChartPending;
};

// The answer to `request` from `snapshot` (none: the program has published
// nothing yet). `requiredToken` empty: no token is asked for.
TStatusResponse RespondToStatusRequest(const TStatusRequest& request, const TStatusSnapshot* snapshot,
                                       std::string_view requiredToken, TDateTime nowUtc);

// The answer for a chart (503 while there is none).
TStatusResponse ChartResponse(const std::shared_ptr<const std::string>& png);

}  // namespace karvo
