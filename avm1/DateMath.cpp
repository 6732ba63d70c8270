// Date arithmetic: calendar primitives in doubles, the player's argument rules on top.
//
// Everything stays in double arithmetic so that out-of-range and non-finite inputs produce NaN or
// garbage values, never undefined behaviour; the only integer conversions are guarded. Year
// lookup estimates from the mean Gregorian year and corrects by at most a few steps, so it is
// exact for every time value the engine can hold meaningfully (|t| up to about 1e20 ms).
#include "avm1/DateMath.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>

#if defined(_WIN32)
#include <mutex>
#endif

namespace lumen::avm1 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMaxTimeValue = 8.64e15;
constexpr double kInt32Min = -2147483648.0;

// First day of each month within the year, for common and leap years.
constexpr std::array<std::array<double, 12>, 2> kMonthStart = {{
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
}};

constexpr std::array<const char*, 7> kWeekdayNames = {"Sun", "Mon", "Tue", "Wed",
                                                      "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

double PositiveModulo(double a, double b) {
  const double r = std::fmod(a, b);
  return r < 0 ? r + b : r + 0.0;  // + 0.0 turns -0 into +0, which would print as "-0"
}

// ToInteger without the NaN -> 0 step: NaN stays NaN, infinities stay infinite.
double Truncate(double v) {
  return std::trunc(v);
}

// The player's native double -> int conversion: truncation, with NaN and anything out of the
// 32-bit range becoming -2^31 (the x86 "integer indefinite" value).
double NativeIntCast(double v) {
  const double t = std::trunc(v);
  if (!(t >= kInt32Min && t <= 2147483647.0)) return kInt32Min;
  return t;
}

bool IsLeapYear(double year) {
  return PositiveModulo(year, 4) == 0 &&
         (PositiveModulo(year, 100) != 0 || PositiveModulo(year, 400) == 0);
}

double MonthStart(double year, int month) {
  return kMonthStart[IsLeapYear(year)][month];
}

double DayWithinYear(double t) {
  return Day(t) - DayFromYear(YearFromTime(t));
}

int MonthIndex(double t) {
  const double day = DayWithinYear(t);
  const auto& starts = kMonthStart[InLeapYear(t)];
  int month = 0;
  while (month < 11 && starts[month + 1] <= day) ++month;
  return month;
}

// Any +-Infinity time value reads back as these: each field is the native cast of NaN (-2^31)
// pushed once into range by the "add the modulus if negative" step.
DateFields InfiniteTimeFields() {
  return {kInt32Min + 1970, 0,
          kInt32Min + 1,    kInt32Min + 24,
          kInt32Min + 60,   kInt32Min + 60,
          kInt32Min + 1000, kInt32Min + 7};
}

// The player's field composition for the constructor and Date.UTC.
double ComposeFromArguments(DateArgs args) {
  auto arg = [&](size_t i, double fallback) { return i < args.size() ? args[i] : fallback; };
  double year = arg(0, kNaN);
  if (year < 100) year += 1900;
  const double day =
      MakeDay(NativeIntCast(year), Truncate(arg(1, kNaN)), 1) + Truncate(arg(2, 1)) - 1;
  const double time = Truncate(arg(3, 0)) * kMsPerHour + Truncate(arg(4, 0)) * kMsPerMinute +
                      Truncate(arg(5, 0)) * kMsPerSecond + Truncate(arg(6, 0));
  return day * kMsPerDay + time;
}

// A year in 1971-2037 with the same length and the same weekday on January 1st.
double EquivalentYear(double year) {
  const bool leap = IsLeapYear(year);
  const double weekday = WeekDay(TimeFromYear(year));
  for (double candidate = 1971; candidate <= 2037; ++candidate) {
    if (IsLeapYear(candidate) == leap && WeekDay(TimeFromYear(candidate)) == weekday) {
      return candidate;
    }
  }
  return 2001;
}

bool LocalCalendar(std::time_t seconds, std::tm& out) {
#if defined(_WIN32)
  static std::mutex mutex;
  const std::lock_guard<std::mutex> lock(mutex);
  const std::tm* result = std::localtime(&seconds);
  if (result == nullptr) return false;
  out = *result;
  return true;
#else
  return localtime_r(&seconds, &out) != nullptr;
#endif
}

std::string FormatYear(double year) {
  char text[400];
  std::snprintf(text, sizeof text, "%.0f", year);
  return text;
}

}  // namespace

double Day(double t) {
  return std::floor(t / kMsPerDay);
}

double TimeWithinDay(double t) {
  return PositiveModulo(t, kMsPerDay);
}

double DaysInYear(double year) {
  return IsLeapYear(year) ? 366 : 365;
}

double DayFromYear(double year) {
  return 365 * (year - 1970) + std::floor((year - 1969) / 4) - std::floor((year - 1901) / 100) +
         std::floor((year - 1601) / 400);
}

double TimeFromYear(double year) {
  return kMsPerDay * DayFromYear(year);
}

double YearFromTime(double t) {
  if (!std::isfinite(t)) return kNaN;
  const double day = Day(t);
  double year = std::floor(day / 365.2425) + 1970;
  // The estimate is off by at most one for representable inputs; the bound guards precision loss.
  for (int step = 0; step < 4 && DayFromYear(year) > day; ++step) --year;
  for (int step = 0; step < 4 && DayFromYear(year + 1) <= day; ++step) ++year;
  return year;
}

bool InLeapYear(double t) {
  return DaysInYear(YearFromTime(t)) == 366;
}

double MonthFromTime(double t) {
  return std::isfinite(t) ? MonthIndex(t) : kNaN;
}

double DateFromTime(double t) {
  if (!std::isfinite(t)) return kNaN;
  return DayWithinYear(t) - MonthStart(YearFromTime(t), MonthIndex(t)) + 1;
}

double WeekDay(double t) {
  return PositiveModulo(Day(t) + 4, 7);
}

double HourFromTime(double t) {
  return PositiveModulo(std::floor(t / kMsPerHour), 24);
}

double MinFromTime(double t) {
  return PositiveModulo(std::floor(t / kMsPerMinute), 60);
}

double SecFromTime(double t) {
  return PositiveModulo(std::floor(t / kMsPerSecond), 60);
}

double MsFromTime(double t) {
  return PositiveModulo(t, kMsPerSecond);
}

double MakeTime(double hour, double min, double sec, double ms) {
  if (!std::isfinite(hour) || !std::isfinite(min) || !std::isfinite(sec) || !std::isfinite(ms)) {
    return kNaN;
  }
  return Truncate(hour) * kMsPerHour + Truncate(min) * kMsPerMinute + Truncate(sec) * kMsPerSecond +
         Truncate(ms);
}

double MakeDay(double year, double month, double date) {
  if (!std::isfinite(year) || !std::isfinite(month) || !std::isfinite(date)) return kNaN;
  const double m = Truncate(month);
  const double full_year = Truncate(year) + std::floor(m / 12);
  const int month_in_year = static_cast<int>(PositiveModulo(m, 12));
  return DayFromYear(full_year) + MonthStart(full_year, month_in_year) + Truncate(date) - 1;
}

double MakeDate(double day, double time) {
  if (!std::isfinite(day) || !std::isfinite(time)) return kNaN;
  return day * kMsPerDay + time;
}

double TimeClip(double t) {
  if (!std::isfinite(t) || std::fabs(t) > kMaxTimeValue) return kNaN;
  return Truncate(t) + 0.0;  // + 0.0 turns -0 into +0
}

DateFields SplitTime(double t) {
  if (std::isnan(t)) return {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
  if (std::isinf(t)) return InfiniteTimeFields();
  return {YearFromTime(t), MonthFromTime(t), DateFromTime(t), HourFromTime(t),
          MinFromTime(t),  SecFromTime(t),   MsFromTime(t),   WeekDay(t)};
}

double MakeDateValue(double year, double month, double date, double h, double m, double s,
                     double ms) {
  return MakeDate(MakeDay(year, month, date), MakeTime(h, m, s, ms));
}

TimeZone::~TimeZone() = default;

double SystemZone::OffsetMs(double utc_ms) const {
  if (!std::isfinite(utc_ms)) return 0;
  const double year = YearFromTime(utc_ms);
  double probe = utc_ms;
  if (!(year >= 1971 && year <= 2037)) {
    probe = utc_ms - TimeFromYear(year) + TimeFromYear(EquivalentYear(year));
  }
  const double seconds = std::floor(probe / kMsPerSecond);
  if (!(seconds >= 0 && seconds <= 4.1e9)) return 0;  // precision lost on a far-out instant
  std::tm local{};
  if (!LocalCalendar(static_cast<std::time_t>(seconds), local)) return 0;
  const double local_ms = MakeDateValue(local.tm_year + 1900.0, local.tm_mon, local.tm_mday,
                                        local.tm_hour, local.tm_min, local.tm_sec, 0);
  return local_ms - seconds * kMsPerSecond;
}

double LocalTime(double utc, const TimeZone& zone) {
  if (!std::isfinite(utc)) return utc;
  return utc + zone.OffsetMs(utc);
}

double UtcFromLocal(double local, const TimeZone& zone) {
  if (!std::isfinite(local)) return local;
  // Offsets are keyed by UTC; a second lookup settles local times near a DST change.
  const double guess = local - zone.OffsetMs(local);
  return local - zone.OffsetMs(guess);
}

double TimezoneOffsetMinutes(double utc, const TimeZone& zone) {
  if (!std::isfinite(utc)) return kNaN;
  return (utc - LocalTime(utc, zone)) / kMsPerMinute;
}

std::string FormatDate(double utc, const TimeZone& zone) {
  const double local = LocalTime(utc, zone);
  if (!std::isfinite(local)) return "Invalid Date";
  const DateFields f = SplitTime(local);
  const double offset_minutes = std::round((local - utc) / kMsPerMinute);
  const double offset_abs = std::fabs(offset_minutes);
  char text[96];
  std::snprintf(text, sizeof text, "%s %s %.0f %02.0f:%02.0f:%02.0f GMT%c%02.0f%02.0f ",
                kWeekdayNames[static_cast<int>(f.weekday)], kMonthNames[static_cast<int>(f.month)],
                f.date, f.hours, f.minutes, f.seconds, offset_minutes < 0 ? '-' : '+',
                std::fmod(std::floor(offset_abs / 60), 100), std::fmod(offset_abs, 60));
  return text + FormatYear(f.year);
}

double DateFromArguments(DateArgs args, double now_utc, const TimeZone& zone) {
  if (args.empty()) return now_utc;
  if (args.size() == 1) return args[0];
  return UtcFromLocal(ComposeFromArguments(args), zone);
}

std::optional<double> DateUTC(DateArgs args) {
  if (args.size() < 2) return std::nullopt;
  return ComposeFromArguments(args);
}

double ApplySetter(double t, DateSetter setter, bool utc, DateArgs args, const TimeZone& zone) {
  if (!std::isfinite(t)) return kNaN;
  const double base = utc ? t : LocalTime(t, zone);
  DateFields f = SplitTime(base);
  const bool native_ints = setter == DateSetter::kMinutes;
  auto arg = [&](size_t i, double& field) {
    if (i == 0 || i < args.size()) {
      const double v = i < args.size() ? args[i] : kNaN;
      field = native_ints ? NativeIntCast(v) : v;
    }
  };
  switch (setter) {
    case DateSetter::kYear:
    case DateSetter::kFullYear:
      arg(0, f.year);
      arg(1, f.month);
      arg(2, f.date);
      if (setter == DateSetter::kYear && Truncate(f.year) >= 0 && Truncate(f.year) <= 99) {
        f.year = 1900 + Truncate(f.year);
      }
      break;
    case DateSetter::kMonth:
      arg(0, f.month);
      arg(1, f.date);
      break;
    case DateSetter::kDate:
      arg(0, f.date);
      break;
    case DateSetter::kHours:
      arg(0, f.hours);
      arg(1, f.minutes);
      arg(2, f.seconds);
      arg(3, f.ms);
      break;
    case DateSetter::kMinutes:
      arg(0, f.minutes);
      arg(1, f.seconds);
      arg(2, f.ms);
      break;
    case DateSetter::kSeconds:
      arg(0, f.seconds);
      arg(1, f.ms);
      break;
    case DateSetter::kMilliseconds:
      arg(0, f.ms);
      break;
  }
  const double changed =
      MakeDateValue(f.year, f.month, f.date, f.hours, f.minutes, f.seconds, f.ms);
  return TimeClip(utc ? changed : UtcFromLocal(changed, zone));
}

}  // namespace lumen::avm1
