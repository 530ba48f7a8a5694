// The last value of every measurement tag, as the meter thread received
// them. Written by the meter thread only; the monitor reads tag 88 (the UPS
// temperature) for its over-temperature check without a lock, so the flag
// and the value are atomics and a reader may see the flag before the value
// (it then reads 0).
#pragma once

#include <atomic>
#include <cstdint>

namespace zep {

constexpr int kMeterTagCount = 256;

struct MeterValue {
  std::atomic<uint8_t> present{0};
  std::atomic<float> value{0.0f};
};

struct MeterValueTable {
  MeterValue tags[kMeterTagCount];
};

/// Forgets every value.
inline void ClearMeterValues(MeterValueTable* table) {
  for (MeterValue& tag : table->tags) {
    tag.present.store(0, std::memory_order_relaxed);
    tag.value.store(0.0f, std::memory_order_relaxed);
  }
}

/// Tag 88 is present and its value, the UPS temperature, is returned.
inline bool TemperatureOf(const MeterValueTable& table, float* value) {
  const MeterValue& tag = table.tags[88];
  if (tag.present.load(std::memory_order_relaxed) == 0) return false;
  *value = tag.value.load(std::memory_order_relaxed);
  return true;
}

}  // namespace zep
