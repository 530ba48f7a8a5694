#include "trace_budget.h"

#include <cstdarg>

#include "process.h"
#include "text_format.h"
#include "trace.h"

namespace zep {

bool TraceBudget::Take(int64_t now_ms, int* left_out) {
  if (!started_) {
    started_ = true;
    refilled_ms_ = now_ms;
  }
  if (interval_ms_ > 0 && now_ms > refilled_ms_) {
    const int64_t earned = (now_ms - refilled_ms_) / interval_ms_;
    if (tokens_ + earned >= burst_) {
      tokens_ = burst_;
      refilled_ms_ = now_ms;
    } else {
      tokens_ += static_cast<int>(earned);
      refilled_ms_ += earned * interval_ms_;
    }
  }
  if (tokens_ <= 0) {
    ++left_out_;
    return false;
  }
  --tokens_;
  if (left_out != nullptr) *left_out = left_out_;
  left_out_ = 0;
  return true;
}

void TraceWithin(TraceBudget* budget, const char* format, ...) {
  int left_out = 0;
  if (budget != nullptr && !budget->Take(MonotonicMilliseconds(), &left_out)) {
    return;
  }
  if (left_out > 0) {
    TraceFormat("(%d similar trace lines left out)\n", left_out);
  }
  va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  Trace(text);
}

}  // namespace zep
