#include "exchange_scan.h"

#include <algorithm>
#include <cstddef>

namespace zep {
namespace bench {
namespace {

// The polling pass, as the log escapes it.
constexpr const char* kPassCommands[] = {"&S1\\r", "QQ\\r", "&R\\r", "Q1\\r"};
constexpr int kPassLength = 4;

constexpr int64_t kDayMs = 24LL * 60 * 60 * 1000;

bool TwoDigits(const std::string& line, size_t at, int high, int* value) {
  if (line[at] < '0' || line[at] > '9' || line[at + 1] < '0' ||
      line[at + 1] > '9') {
    return false;
  }
  *value = (line[at] - '0') * 10 + (line[at + 1] - '0');
  return *value <= high;
}

// "hh:mm:ss.mmm" at the start of the line.
bool ParseTimeOfDay(const std::string& line, int64_t* ms) {
  if (line.size() < 12 || line[2] != ':' || line[5] != ':' || line[8] != '.') {
    return false;
  }
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  if (!TwoDigits(line, 0, 23, &hours) || !TwoDigits(line, 3, 59, &minutes) ||
      !TwoDigits(line, 6, 59, &seconds)) {
    return false;
  }
  int millis = 0;
  for (size_t i = 9; i < 12; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
    millis = millis * 10 + (line[i] - '0');
  }
  *ms = ((hours * 60LL + minutes) * 60 + seconds) * 1000 + millis;
  return true;
}

int64_t Percentile(std::vector<int64_t> values, int percent) {
  size_t at = (values.size() - 1) * static_cast<size_t>(percent) / 100;
  std::nth_element(values.begin(), values.begin() + at, values.end());
  return values[at];
}

}  // namespace

bool ParseRequestLine(const std::string& line, LoggedRequest* request) {
  int64_t ms = 0;
  if (!ParseTimeOfDay(line, &ms)) return false;
  const std::string marker = " rx \"";
  if (line.compare(12, marker.size(), marker) != 0) return false;
  const size_t begin = 12 + marker.size();
  // The text ends at the last quote; a quote inside it is escaped.
  if (line.size() < begin + 1 || line.back() != '"') return false;
  request->ms_of_day = ms;
  request->text = line.substr(begin, line.size() - 1 - begin);
  return true;
}

bool IsPollCommand(const std::string& text) {
  for (const char* command : kPassCommands) {
    if (text == command) return true;
  }
  return false;
}

int64_t PassCounter::Unwrapped(int64_t ms_of_day) {
  if (have_time_ && ms_of_day + day_offset_ms_ < last_ms_ - kDayMs / 2) {
    day_offset_ms_ += kDayMs;
  }
  have_time_ = true;
  last_ms_ = ms_of_day + day_offset_ms_;
  return last_ms_;
}

void PassCounter::Add(const LoggedRequest& request) {
  const int64_t ms = Unwrapped(request.ms_of_day);
  const bool poll = IsPollCommand(request.text);
  if (poll && last_was_poll_) gaps_ms_.push_back(ms - last_poll_ms_);
  last_was_poll_ = poll;
  last_poll_ms_ = ms;

  if (request.text == kPassCommands[position_]) {
    if (++position_ == kPassLength) {
      ++passes_;
      pass_end_ms_.push_back(ms);
      position_ = 0;
    }
  } else if (position_ > 0 && request.text == kPassCommands[position_ - 1]) {
    // The same command again after a missing answer: the pass goes on.
  } else {
    position_ = request.text == kPassCommands[0] ? 1 : 0;
  }
}

GapFigures SummariseGaps(const std::vector<int64_t>& gaps_ms,
                         const PrescribedWaits& waits) {
  GapFigures figures;
  if (gaps_ms.empty()) return figures;
  const int64_t short_ms = waits.ShortCommandMs();
  const int64_t long_ms = waits.LongCommandMs();
  int64_t sum = 0;
  int64_t excess_sum = 0;
  int long_count = 0;
  for (int64_t gap : gaps_ms) {
    sum += gap;
    // Nearer the long form (ties go to it): the reply came one look late.
    const bool is_long = 2 * gap >= short_ms + long_ms;
    if (is_long) ++long_count;
    excess_sum += gap - (is_long ? long_ms : short_ms);
  }
  const double count = static_cast<double>(gaps_ms.size());
  figures.count = static_cast<int>(gaps_ms.size());
  figures.mean_ms = static_cast<double>(sum) / count;
  figures.median_ms = Percentile(gaps_ms, 50);
  figures.p90_ms = Percentile(gaps_ms, 90);
  figures.max_ms = *std::max_element(gaps_ms.begin(), gaps_ms.end());
  figures.long_share = long_count / count;
  figures.mean_excess_ms = static_cast<double>(excess_sum) / count;
  return figures;
}

}  // namespace bench
}  // namespace zep
