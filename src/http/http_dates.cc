#include "http/http_dates.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "http/net_exceptions.h"
#include "http/text_util.h"

namespace qelvu {
namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// 1970-01-01 in TDateTime days.
constexpr int64_t kUnixEpochDays = 25569;

int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  int year, month, day, hour, minute, second, weekday;
};

Civil DecodeDateTime(TDateTime value) {
  int64_t total_seconds = std::llround(value * 86400.0);
  int64_t days = total_seconds / 86400;
  int64_t secs = total_seconds % 86400;
  if (secs < 0) {
    secs += 86400;
    --days;
  }
  int64_t z = days - kUnixEpochDays + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  Civil c{};
  c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  c.year = static_cast<int>(yoe + era * 400 + (c.month <= 2));
  c.hour = static_cast<int>(secs / 3600);
  c.minute = static_cast<int>(secs / 60 % 60);
  c.second = static_cast<int>(secs % 60);
  int64_t unix_days = days - kUnixEpochDays;  // 1970-01-01 was a Thursday
  c.weekday = static_cast<int>(((unix_days % 7) + 7 + 4) % 7);
  return c;
}

TDateTime FromTimeT(std::time_t t) {
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return 0;
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec);
}

int MonthIndex(const std::string& token) {
  if (token.size() < 3) return -1;
  for (int i = 0; i < 12; ++i) {
    if (SameText(token.substr(0, 3), kMonthNames[i])) return i + 1;
  }
  return -1;
}

bool IsDigits(const std::string& token) {
  if (token.empty()) return false;
  for (char c : token) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  return static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochDays) +
         (hour * 3600 + minute * 60 + second) / 86400.0;
}

TDateTime LocalNow() { return FromTimeT(std::time(nullptr)); }

int LocalUtcOffsetMinutes() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) {
    throw EFailedToRetreiveTimeZoneInfo("Failed attempting to retrieve time zone information.");
  }
  return static_cast<int>(local.tm_gmtoff / 60);
}

std::string FormatInternetDate(TDateTime value) {
  Civil c = DecodeDateTime(value);
  int offset = LocalUtcOffsetMinutes();
  char zone[32];
  std::snprintf(zone, sizeof zone, "%c%02d%02d", offset >= 0 ? '+' : '-', std::abs(offset) / 60,
                std::abs(offset) % 60);
  char text[128];
  std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %s", kDayNames[c.weekday], c.day,
                kMonthNames[c.month - 1], c.year, c.hour, c.minute, c.second, zone);
  return text;
}

std::string FormatHttpGmtDate(TDateTime value) {
  Civil c = DecodeDateTime(value);
  char text[128];
  std::snprintf(text, sizeof text, "%s, %.2d %s %.4d %02d:%02d:%02d GMT", kDayNames[c.weekday],
                c.day, kMonthNames[c.month - 1], c.year, c.hour, c.minute, c.second);
  return text;
}

TDateTime ParseHeaderDate(const std::string& text) {
  // Tokens at blanks and commas; "06-Nov-94" style dates split at "-" as well, but a zone like
  // "-0500" keeps its sign.
  std::vector<std::string> tokens;
  std::string current;
  auto flush = [&] {
    if (!current.empty()) tokens.push_back(current);
    current.clear();
  };
  for (char c : text) {
    if (c == ' ' || c == ',' || c == '\t') {
      flush();
    } else if (c == '-' && !current.empty()) {
      flush();
    } else {
      current += c;
    }
  }
  flush();

  int day = -1, month = -1, year = -1, hour = 0, minute = 0, second = 0, zone_minutes = 0;
  for (const std::string& token : tokens) {
    if (token.find(':') != std::string::npos) {
      int h, m, s = 0;
      char tail = 0;
      int n = std::sscanf(token.c_str(), "%2d:%2d:%2d%c", &h, &m, &s, &tail);
      if (n < 2 || n > 3 || h > 23 || m > 59 || s > 60 || h < 0 || m < 0 || s < 0) return 0;
      hour = h;
      minute = m;
      second = s;
    } else if ((token[0] == '+' || token[0] == '-') && token.size() == 5 &&
               IsDigits(token.substr(1))) {
      int value = std::stoi(token.substr(1));
      zone_minutes = (value / 100) * 60 + value % 100;
      if (token[0] == '-') zone_minutes = -zone_minutes;
    } else if (IsDigits(token)) {
      if (token.size() > 4) return 0;
      int value = std::stoi(token);
      if (day < 0 && token.size() <= 2) {
        day = value;
      } else if (year < 0) {
        year = value;
        if (token.size() <= 2) year += year < 80 ? 2000 : 1900;
      } else {
        return 0;
      }
    } else if (int m = MonthIndex(token); m > 0 && month < 0) {
      month = m;
    }
    // Anything else (day names, "GMT", zone names) is read as UTC and passed over.
  }
  if (day < 1 || day > 31 || month < 1 || year < 1601 || year > 9999) return 0;
  int64_t utc_seconds = (DaysFromCivil(year, month, day) * 86400) + hour * 3600 + minute * 60 +
                        second - zone_minutes * 60;
  return FromTimeT(static_cast<std::time_t>(utc_seconds));
}

}  // namespace qelvu
