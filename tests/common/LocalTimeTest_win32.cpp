// The Windows clock and time zone against the system's own local clock.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Seams.h"

namespace karvo {

TEST(LocalTime, MatchesTheSystemsLocalClock) {
  SYSTEMTIME st;
  GetLocalTime(&st);
  const TDateTime system = EncodeDateTime({.year = st.wYear,
                                           .month = st.wMonth,
                                           .day = st.wDay,
                                           .hour = st.wHour,
                                           .minute = st.wMinute,
                                           .second = st.wSecond,
                                           .millisecond = st.wMilliseconds});
  EXPECT_NEAR(UtcToLocal(seams::SystemUtcNow()), system, 2.0 / 86400);
  EXPECT_NEAR(LocalToUtc(system), seams::SystemUtcNow(), 2.0 / 86400);
}

}  // namespace karvo
