#include "core/support/time.h"

#include <cstdio>

namespace wrenfold::timefmt {
namespace {

using namespace std::chrono;

// A cursor over the text being parsed; every reader fails (returns false / nullopt) rather
// than reading past the end.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  [[nodiscard]] std::optional<int> digits(std::size_t count) {
    if (text_.size() - pos_ < count) {
      return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const char c = text_[pos_ + i];
      if (c < '0' || c > '9') {
        return std::nullopt;
      }
      value = value * 10 + (c - '0');
    }
    pos_ += count;
    return value;
  }
  [[nodiscard]] bool accept(char c) { return acceptAny(std::string_view(&c, 1)); }
  [[nodiscard]] bool acceptAny(std::string_view choices) {
    if (pos_ < text_.size() && choices.find(text_[pos_]) != std::string_view::npos) {
      ++pos_;
      return true;
    }
    return false;
  }
  [[nodiscard]] char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  [[nodiscard]] bool atEnd() const { return pos_ == text_.size(); }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

constexpr int kFirstYear = 1678;
constexpr int kLastYear = 2261;

std::optional<sys_days> readDate(Scanner& in) {
  const auto y = in.digits(4);
  // The system clock counts nanoseconds in 64 bits: it holds 1677-09-21 to 2262-04-11 only.
  if (!y || *y < kFirstYear || *y > kLastYear || !in.accept('-')) {
    return std::nullopt;
  }
  const auto m = in.digits(2);
  if (!m || !in.accept('-')) {
    return std::nullopt;
  }
  const auto d = in.digits(2);
  if (!d) {
    return std::nullopt;
  }
  const year_month_day date{year{*y}, month{static_cast<unsigned>(*m)}, day{static_cast<unsigned>(*d)}};
  if (!date.ok()) {
    return std::nullopt;
  }
  return sys_days(date);
}

std::optional<nanoseconds> readTimeOfDay(Scanner& in) {
  const auto h = in.digits(2);
  if (!h || *h > 23 || !in.accept(':')) {
    return std::nullopt;
  }
  const auto m = in.digits(2);
  if (!m || *m > 59 || !in.accept(':')) {
    return std::nullopt;
  }
  const auto s = in.digits(2);
  if (!s || *s > 60) {  // 60: a leap second, counted into the next minute
    return std::nullopt;
  }
  return hours(*h) + minutes(*m) + seconds(*s);
}

// ".123" and longer; digits past nanoseconds are read and dropped.
std::optional<nanoseconds> readFraction(Scanner& in) {
  if (!in.accept('.')) {
    return nanoseconds(0);
  }
  long long value = 0;
  int count = 0;
  while (in.peek() >= '0' && in.peek() <= '9') {
    const int digit = *in.digits(1);
    if (count < 9) {
      value = value * 10 + digit;
      ++count;
    }
  }
  if (count == 0) {
    return std::nullopt;
  }
  for (int i = count; i < 9; ++i) {
    value *= 10;
  }
  return nanoseconds(value);
}

// "Z", "+hh:mm", "+hhmm" or "+hh"; the result is what to subtract to reach UTC.
std::optional<minutes> readOffset(Scanner& in) {
  if (in.acceptAny("Zz")) {
    return minutes(0);
  }
  const bool negative = in.peek() == '-';
  if (!in.acceptAny("+-")) {
    return std::nullopt;
  }
  const auto h = in.digits(2);
  if (!h || *h > 23) {
    return std::nullopt;
  }
  std::optional<int> m = 0;
  if (in.accept(':')) {
    m = in.digits(2);
  } else if (!in.atEnd()) {
    m = in.digits(2);
  }
  if (!m || *m > 59) {
    return std::nullopt;
  }
  const minutes offset = hours(*h) + minutes(*m);
  return negative ? -offset : offset;
}

}  // namespace

std::string iso8601(SystemTime time) {
  const auto whole = floor<seconds>(time);
  const auto day = floor<days>(whole);
  const year_month_day date{day};
  const hh_mm_ss clock{whole - day};
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return buffer;
}

std::string iso8601Now() {
  return iso8601(system_clock::now());
}

std::optional<SystemTime> parseIso8601(std::string_view text) {
  Scanner in(text);
  const auto date = readDate(in);
  if (!date || !in.acceptAny("Tt")) {
    return std::nullopt;
  }
  const auto timeOfDay = readTimeOfDay(in);
  if (!timeOfDay) {
    return std::nullopt;
  }
  const auto fraction = readFraction(in);
  if (!fraction) {
    return std::nullopt;
  }
  const auto offset = readOffset(in);
  if (!offset || !in.atEnd()) {
    return std::nullopt;
  }
  const auto local = sys_time<nanoseconds>(*date) + *timeOfDay + *fraction;
  return time_point_cast<SystemTime::duration>(local - *offset);
}

}  // namespace wrenfold::timefmt
