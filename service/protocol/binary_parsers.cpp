// The reply parsers of the binary message table. Each reads the joined
// payload at fixed offsets and stops quietly where the payload ends, keeping
// the fields read so far; no read goes past reply.count.
#include <cstring>

#include "protocol/binary_frames.h"
#include "protocol/ups_state.h"

namespace zep {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

constexpr int kModelTextMaximum = kModelNameSize - 1;
constexpr int kIdTextLength = kIdTextSize - 1;
constexpr int kMeasurementBytes = kMeasurementCount * 4;

// Bounded reads from the joined payload.
class Payload {
 public:
  explicit Payload(const ReplyAssembly& reply)
      : bytes_(reply.bytes),
        size_(reply.count < 0                    ? 0
              : reply.count > kReplyAssemblySize ? kReplyAssemblySize
                                                 : reply.count) {}

  int size() const { return size_; }
  const uint8_t* at(int offset) const { return bytes_ + offset; }

  bool Byte(int offset, uint8_t* value) const {
    if (offset < 0 || offset >= size_) return false;
    *value = bytes_[offset];
    return true;
  }

  bool U16(int offset, uint16_t* value) const {
    if (offset < 0 || offset + 1 >= size_) return false;
    *value = static_cast<uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
    return true;
  }

  // Bytes from `offset` that lie inside the payload, at most `most`.
  int Available(int offset, int most) const {
    if (offset >= size_) return 0;
    int left = size_ - offset;
    return left < most ? left : most;
  }

 private:
  const uint8_t* bytes_;
  int size_;
};

// Stores a text field: up to its first NUL, trailing control characters and
// blanks (bytes 1..32) removed, but never its first character.
template <size_t N>
void StoreTrimmedText(std::atomic<char> (&field)[N], const uint8_t* text,
                      int length) {
  int n = 0;
  while (n < length && text[n] != 0) ++n;
  while (n > 1 && text[n - 1] >= 1 && text[n - 1] <= 32) --n;
  char copy[N] = {};
  size_t keep = static_cast<size_t>(n) < N - 1 ? static_cast<size_t>(n) : N - 1;
  std::memcpy(copy, text, keep);
  StoreText(field, copy, keep);
}

// Copies a count-prefixed block of `limit` entries at most into `field`;
// entries the UPS did not send read 0. Returns the offset after the block
// as the UPS described it.
template <size_t N>
int StoreCountedBlock(std::atomic<uint8_t> (&field)[N], const Payload& payload,
                      int count_offset, bool* complete) {
  uint8_t count = 0;
  if (!payload.Byte(count_offset, &count)) {
    *complete = false;
    return count_offset;
  }
  int first = count_offset + 1;
  int wanted = count < N ? count : static_cast<int>(N);
  int present = payload.Available(first, wanted);
  for (int i = 0; i < static_cast<int>(N); ++i) {
    uint8_t value = i < present ? *payload.at(first + i) : 0;
    field[i].store(value, kRelaxed);
  }
  *complete = payload.Available(first, count) == count;
  return first + count;
}

}  // namespace

int ParseIdentification(UpsState& state, const ReplyAssembly& reply) {
  Payload payload(reply);
  uint8_t pairs = 0;
  if (!payload.Byte(0, &pairs)) return 0;

  // Version pairs; pair 1 is the firmware version. A pair with a 0xFF byte
  // is not known.
  for (int i = 0; i < pairs && i <= 4; ++i) {
    uint8_t first = 0;
    uint8_t second = 0;
    if (!payload.Byte(1 + 2 * i, &first) || !payload.Byte(2 + 2 * i, &second)) {
      return 1;
    }
    if (i == 1 && first != 0xFF && second != 0xFF) {
      state.firmware_version[0].store(first, kRelaxed);
      state.firmware_version[1].store(second, kRelaxed);
    }
  }

  int r = 1 + 2 * pairs;
  uint8_t rating = 0;
  if (!payload.Byte(r, &rating)) return 1;
  if (rating != 0) {
    state.rated_va.store(rating * 1000, kRelaxed);
  } else {
    uint16_t rating50 = 0;
    if (!payload.U16(r + 1, &rating50)) return 1;
    state.rated_va.store(rating50 * 50, kRelaxed);
  }

  uint8_t model_length = 0;
  if (!payload.Byte(r + 5, &model_length)) return 1;
  int model_offset = r + 6;
  int model_bytes = payload.Available(model_offset, model_length);
  int kept = model_bytes < kModelTextMaximum ? model_bytes : kModelTextMaximum;
  StoreTrimmedText(state.model_name, payload.at(model_offset), kept);
  if (model_bytes < model_length) return 1;

  bool complete = false;
  int next = StoreCountedBlock(state.measurement_types, payload,
                               model_offset + model_length, &complete);
  if (!complete) return 1;
  StoreCountedBlock(state.alarm_presence, payload, next, &complete);
  return 1;
}

int ParseRatingsAndTexts(UpsState& state, const ReplyAssembly& reply) {
  Payload payload(reply);
  if (payload.size() < 2) return 0;
  uint16_t value = 0;
  if (!payload.U16(8, &value)) return 1;
  state.rated_voltage.store(static_cast<int16_t>(value), kRelaxed);
  if (!payload.U16(10, &value)) return 1;
  state.aux_rating.store(static_cast<int16_t>(value), kRelaxed);
  uint8_t flags = 0;
  if (!payload.Byte(16, &flags)) return 1;
  state.type_flag.store(flags & 0x01, kRelaxed);
  if (payload.size() > 48) {
    StoreTrimmedText(state.id_text_a, payload.at(48),
                     payload.Available(48, kIdTextLength));
  }
  if (payload.size() > 64) {
    StoreTrimmedText(state.id_text_b, payload.at(64),
                     payload.Available(64, kIdTextLength));
  }
  return 1;
}

int ParseOperatingState(UpsState& state, const ReplyAssembly& reply) {
  Payload payload(reply);
  uint16_t value = 0;
  if (payload.size() < 2 || !payload.U16(0, &value)) return 0;
  state.operating_state.store(value, kRelaxed);
  return 1;
}

int ParseFlags(UpsState& state, const ReplyAssembly& reply) {
  Payload payload(reply);
  uint8_t flags = 0;
  if (payload.size() < 2 || !payload.Byte(1, &flags)) return 0;
  state.ups_flags.store(flags, kRelaxed);
  return 1;
}

int ParseLimits(UpsState& state, const ReplyAssembly& reply) {
  Payload payload(reply);
  if (payload.size() < 2) return 0;

  // The values the change rule compares with.
  const int16_t old_base = state.percent_base.load(kRelaxed);
  const int16_t old_tolerance = state.frequency_tolerance.load(kRelaxed);
  const int16_t old_low = state.limit_low.load(kRelaxed);
  const int16_t old_high = state.limit_high.load(kRelaxed);

  uint16_t value = 0;
  uint8_t byte = 0;
  if (!payload.U16(0, &value)) return 1;
  state.percent_base.store(static_cast<int16_t>(value), kRelaxed);
  if (!payload.U16(2, &value)) return 1;
  state.nominal_frequency.store(static_cast<int16_t>(value), kRelaxed);
  if (!payload.U16(4, &value)) return 1;
  state.rated_watts.store(value * 50, kRelaxed);
  if (!payload.U16(8, &value)) return 1;
  state.frequency_tolerance.store(static_cast<int16_t>(value), kRelaxed);
  if (!payload.Byte(17, &byte)) return 1;
  // 2 is not a setting the service adopts from a report.
  if (byte != 2) state.mode_setting.store(byte, kRelaxed);
  if (!payload.U16(18, &value)) return 1;
  state.limit_low.store(static_cast<int16_t>(value), kRelaxed);
  if (!payload.U16(20, &value)) return 1;
  state.limit_high.store(static_cast<int16_t>(value), kRelaxed);

  // Byte 31 counts 3-byte tagged entries from offset 32 (tags 0x90, 0x91,
  // 0x92); the service has no use for them and reads nothing there.

  if (payload.size() > 32) {
    auto changed = [](int16_t before, int16_t now) {
      return before >= 0 && before != now;
    };
    if (changed(old_base, state.percent_base.load(kRelaxed)) ||
        changed(old_tolerance, state.frequency_tolerance.load(kRelaxed)) ||
        changed(old_low, state.limit_low.load(kRelaxed)) ||
        changed(old_high, state.limit_high.load(kRelaxed))) {
      // The next advance selects the rating re-read (request 0x36).
      state.poll_index.store(22, kRelaxed);
    }
  }
  return 1;
}

int ParseMeasurements(UpsState& state, const ReplyAssembly& reply) {
  Payload payload(reply);
  int bytes = payload.Available(0, kMeasurementBytes);
  for (int word = 0; word * 4 < bytes; ++word) {
    uint32_t value = state.measurement_values[word].load(kRelaxed);
    for (int b = 0; b < 4 && word * 4 + b < bytes; ++b) {
      uint32_t mask = 0xFFu << (8 * b);
      value = (value & ~mask) |
              (static_cast<uint32_t>(*payload.at(word * 4 + b)) << (8 * b));
    }
    state.measurement_values[word].store(value, kRelaxed);
  }
  UpdateDerivedValues(state);
  return 1;
}

int ParseAlarmValues(UpsState& state, const ReplyAssembly& reply) {
  Payload payload(reply);
  int bytes = payload.Available(0, kAlarmBitCount);
  for (int i = 0; i < bytes; ++i) {
    state.alarm_values[i].store(*payload.at(i), kRelaxed);
  }
  return 1;
}

int ParseGroups(UpsState& state, const ReplyAssembly& reply) {
  Payload payload(reply);
  if (payload.size() < 2) return 0;
  int8_t raw = static_cast<int8_t>(*payload.at(0));
  int8_t count = raw <= 9 ? raw : 9;
  state.group_count.store(count, kRelaxed);
  int stride = *payload.at(1);
  for (int i = 0; i < count; ++i) {
    int offset = 2 + i * stride;
    uint8_t group = 0;
    uint8_t group_state = 0;
    if (!payload.Byte(offset, &group) ||
        !payload.Byte(offset + 1, &group_state)) {
      break;
    }
    if (group < kGroupStateCount) {
      state.group_states[group].store(group_state, kRelaxed);
    }
  }
  return 1;
}

int ParseTestState(UpsState& state, const ReplyAssembly& reply) {
  Payload payload(reply);
  if (payload.size() < 2) return 0;
  state.test_state.store(static_cast<int8_t>(*payload.at(0)), kRelaxed);
  if (payload.size() >= 19) {
    int k = *payload.at(18);
    uint8_t detail = 0;
    if (payload.Byte(20 + k, &detail)) {
      state.test_detail.store(static_cast<int8_t>(detail), kRelaxed);
    }
  }
  return 1;
}

int ParseConfirmation(UpsState&, const ReplyAssembly& reply) {
  Payload payload(reply);
  if (payload.size() < 2) return 0;
  uint8_t first = *payload.at(0);
  return first >= '1' && first <= '7' ? 1 : 0;
}

}  // namespace zep
