// The local clock on Windows.
#include <windows.h>

#include "common/DateTime.h"
#include "common/Seams.h"

namespace karvo::seams {

TDateTime SystemNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  DateTimeParts p;
  p.year = st.wYear;
  p.month = st.wMonth;
  p.day = st.wDay;
  p.hour = st.wHour;
  p.minute = st.wMinute;
  p.second = st.wSecond;
  p.millisecond = st.wMilliseconds;
  return EncodeDateTime(p);
}

}  // namespace karvo::seams
