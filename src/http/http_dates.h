// Date-times of header texts. A `TDateTime` is a local wall-clock time counted in days (with a
// fraction for the time of day) since 1899-12-30; 0 means "no date".
#pragma once

#include <string>

namespace qelvu {

using TDateTime = double;

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second);
// The current local time.
TDateTime LocalNow();
// Local offset east of UTC in minutes, from the C library's time-zone data for the present
// moment. Raises EFailedToRetreiveTimeZoneInfo when it cannot be had.
int LocalUtcOffsetMinutes();

// "Sun, 6 Nov 1994 08:49:37 +0100": the time as given, with the local offset appended.
std::string FormatInternetDate(TDateTime value);
// "Sun, 06 Nov 1994 08:49:37 GMT": the time as given, not converted.
std::string FormatHttpGmtDate(TDateTime value);

// Reads a header date leniently (RFC 1123, RFC 850, asctime and the like) and converts it to
// local time; 0 when the text cannot be read.
TDateTime ParseHeaderDate(const std::string& text);

}  // namespace qelvu
