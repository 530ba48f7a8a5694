// Reading the simulator's exchange log for the benchmark: which text
// requests the service sent and when, how many whole polling passes that
// makes, and how far apart the polling commands went out.
//
// A log line looks like
//     21:04:45.023 rx "&K\r"
// (local time of day with milliseconds, "rx" for what the UPS received,
// the request escaped between quotes). Only text requests are read; the
// answers ("tx"), notes ("--") and binary frames are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zep {
namespace bench {

/// One text request as the log shows it: the time of day in milliseconds
/// and the escaped text between the quotes ("&S1\\r" for "&S1\r").
struct LoggedRequest {
  int64_t ms_of_day = 0;
  std::string text;
};

/// Reads one log line. True for a text request; false for anything else
/// (answers, notes, frames, broken lines).
bool ParseRequestLine(const std::string& line, LoggedRequest* request);

/// Whether `text` (escaped, as in the log) is one of the four commands of a
/// polling pass.
bool IsPollCommand(const std::string& text);

/// Counts whole polling passes ("&S1\r", "QQ\r", "&R\r", "Q1\r" in this
/// order) in a stream of requests, and measures the time from each polling
/// command to the next one of the same phase.
///
/// A command sent again after a missing answer keeps the pass going; any
/// other request (identification, a relayed command) breaks it, so a pass
/// counts only when its four commands went out back to back. Log times of
/// day that step back by more than twelve hours are taken as a midnight
/// passed.
class PassCounter {
 public:
  void Add(const LoggedRequest& request);

  /// Whole passes seen so far.
  int passes() const { return passes_; }
  /// Time of the "Q1\r" that ended each pass, in milliseconds on the
  /// counter's own scale (the first request's day).
  const std::vector<int64_t>& pass_end_ms() const { return pass_end_ms_; }
  /// Milliseconds from each polling command to the next, for consecutive
  /// polling commands only (none across an identification).
  const std::vector<int64_t>& command_gaps_ms() const { return gaps_ms_; }

 private:
  int64_t Unwrapped(int64_t ms_of_day);

  int position_ = 0;
  int passes_ = 0;
  bool have_time_ = false;
  int64_t day_offset_ms_ = 0;
  int64_t last_ms_ = 0;
  bool last_was_poll_ = false;
  int64_t last_poll_ms_ = 0;
  std::vector<int64_t> pass_end_ms_;
  std::vector<int64_t> gaps_ms_;
};

/// The waits every polling command is made of, which the monitor does not
/// choose: the cycle wait for a relayed request, the drain of its link
/// endpoint (one receive with a 100 ms time-out when nothing is left), and
/// the serial library's reply wait, which looks at the line every 50 ms and
/// ends after two looks without growth: 100 ms when the reply is already
/// waiting at the first look, 150 ms when it comes between the first and
/// the second.
struct PrescribedWaits {
  int cycle_ms = 1;
  int drain_ms = 100;
  int look_interval_ms = 50;
  int quiet_looks = 2;

  /// A command whose reply was waiting at the first look.
  int ShortCommandMs() const {
    return cycle_ms + drain_ms + look_interval_ms * quiet_looks;
  }
  /// A command whose reply came one look later.
  int LongCommandMs() const { return ShortCommandMs() + look_interval_ms; }
};

/// Summary of the gaps between polling commands.
struct GapFigures {
  int count = 0;
  double mean_ms = 0;
  int64_t median_ms = 0;
  int64_t p90_ms = 0;
  int64_t max_ms = 0;
  /// Share of the gaps closer to the long form than to the short one.
  double long_share = 0;
  /// Mean of each gap less the prescribed form it is nearest to: the time
  /// the service adds of its own to every command.
  double mean_excess_ms = 0;
};

/// Works the figures out of `gaps_ms` (empty: all zero).
GapFigures SummariseGaps(const std::vector<int64_t>& gaps_ms,
                         const PrescribedWaits& waits);

}  // namespace bench
}  // namespace zep
