#pragma once
// Local wall-clock time and the instant it stands for. The program keeps its
// time stamps as instants (UtcNow) and turns them into local time where a
// person reads them: log lines, axis labels, exported files. Local time
// steps back an hour when daylight saving time ends and skips an hour when
// it begins; instants never do.

#include "common/Types.h"

namespace karvo {

// The local date and time of an instant under the system's time zone rules
// (TZ on POSIX systems, the time zone settings on Windows). Exact to the
// millisecond.
TDateTime UtcToLocal(TDateTime utc);

// The instant a local date and time stands for. In the hour that occurs
// twice when daylight saving time ends it is the first occurrence, or the
// second with `later`; a local time inside the hour skipped when daylight
// saving time begins is read with the offset in force before the change.
TDateTime LocalToUtc(TDateTime local, bool later = false);

// The local time's offset from UTC at an instant, in days (+2 h = 2/24).
TDateTime UtcOffset(TDateTime utc);

}  // namespace karvo
