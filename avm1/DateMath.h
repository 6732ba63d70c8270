// Date arithmetic for the ActionScript Date class, as pure functions over time values.
//
// A time value is a double: milliseconds since 1970-01-01 00:00:00 UTC, NaN for an invalid date.
// The calendar primitives follow the ECMAScript 3 date algorithms (proleptic Gregorian, no leap
// seconds). On top of them sit the entry points with the player's own rules, which differ from
// ECMAScript in a few places:
// - the constructor and Date.UTC never clip the result, so values beyond +-8.64e15 ms and
//   fractional milliseconds survive, and infinities in day or time fields pass through;
// - their year goes through the player's native integer cast after the 0-99 -> 1900s mapping,
//   which turns NaN and infinite years into year -2147483648 instead of NaN;
// - Date.UTC with fewer than two arguments returns undefined;
// - every setter leaves an invalid (non-finite) date invalid, setFullYear and setYear included;
// - setMinutes/setUTCMinutes cast each argument to a native integer, so NaN means -2^31 minutes;
// - getters of an infinite date return the cast artefacts seen in recorded traces (SplitTime).
#pragma once

#include <optional>
#include <span>
#include <string>

namespace lumen::avm1 {

inline constexpr double kMsPerDay = 86400000.0;
inline constexpr double kMsPerHour = 3600000.0;
inline constexpr double kMsPerMinute = 60000.0;
inline constexpr double kMsPerSecond = 1000.0;

// Calendar primitives. Years, months (0-based) and days are integral doubles.
double Day(double t);
double TimeWithinDay(double t);
double DaysInYear(double year);
double DayFromYear(double year);
double TimeFromYear(double year);
double YearFromTime(double t);
bool InLeapYear(double t);
double MonthFromTime(double t);
double DateFromTime(double t);
double WeekDay(double t);
double HourFromTime(double t);
double MinFromTime(double t);
double SecFromTime(double t);
double MsFromTime(double t);
double MakeTime(double hour, double min, double sec, double ms);
double MakeDay(double year, double month, double date);
double MakeDate(double day, double time);
double TimeClip(double t);

// The broken-down form of a time value, as the getters report it. getYear is year - 1900.
struct DateFields {
  double year, month, date, hours, minutes, seconds, ms, weekday;
};

// Splits t (UTC or local) into fields: NaN fields for NaN, the player's artefacts for +-Infinity.
DateFields SplitTime(double t);

// MakeDate(MakeDay(year, month, date), MakeTime(h, m, s, ms)): fields carry over, no clipping.
double MakeDateValue(double year, double month, double date, double h, double m, double s,
                     double ms);

// The local time zone, as an offset (local minus UTC, DST included) at a UTC instant.
struct TimeZone {
  virtual ~TimeZone();
  virtual double OffsetMs(double utc_ms) const = 0;
};

struct UtcZone final : TimeZone {
  double OffsetMs(double) const override { return 0; }
};

// A constant offset, for hosts configured with one and for deterministic tests.
class FixedOffsetZone final : public TimeZone {
 public:
  explicit FixedOffsetZone(double offset_minutes) : offset_ms_(offset_minutes * kMsPerMinute) {}
  double OffsetMs(double) const override { return offset_ms_; }

 private:
  double offset_ms_;
};

// The machine's zone through the C library. Instants outside 1971-2037 use the rules of a year
// with the same length and first weekday, because C libraries cannot all reach further.
struct SystemZone final : TimeZone {
  double OffsetMs(double utc_ms) const override;
};

double LocalTime(double utc, const TimeZone& zone);
double UtcFromLocal(double local, const TimeZone& zone);
// getTimezoneOffset: UTC minus local, in minutes (positive west of Greenwich), NaN if invalid.
double TimezoneOffsetMinutes(double utc, const TimeZone& zone);

// Date.prototype.toString: "Tue Dec 8 13:50:40 GMT+0000 2026", or "Invalid Date".
std::string FormatDate(double utc, const TimeZone& zone);

// Arguments after ToNumber, in call order. The caller stops the list at the first undefined
// argument after the first one: the player ignores it and everything behind it.
using DateArgs = std::span<const double>;

// new Date(...): none -> now_utc; one -> that time value as is; more -> local year, month, date,
// hours, minutes, seconds, ms (missing ones default to 1 for the date, 0 otherwise).
double DateFromArguments(DateArgs args, double now_utc, const TimeZone& zone);

// Date.UTC(...): the same fields read as UTC; nothing (undefined) with fewer than two.
std::optional<double> DateUTC(DateArgs args);

enum class DateSetter {
  kFullYear,
  kYear,
  kMonth,
  kDate,
  kHours,
  kMinutes,
  kSeconds,
  kMilliseconds
};

// setFullYear, setYear, setMonth, ... on time value t, local unless `utc` (the setUTC* forms).
// The first argument defaults to NaN when absent; later ones keep the current field. Returns the
// new time value (clipped). setTime is TimeClip of its argument.
double ApplySetter(double t, DateSetter setter, bool utc, DateArgs args, const TimeZone& zone);

}  // namespace lumen::avm1
