#include "protocol/binary_frames.h"

#include <cstring>

#include "protocol/text_scan.h"
#include "protocol/ups_state.h"

namespace zep {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Reply frame layout.
constexpr size_t kReplyHeaderSize = 4;  // start, type, length, number
constexpr size_t kReplyMinimumSize = kReplyHeaderSize + 1 + 1;
constexpr uint8_t kLastFrameBit = 0x80;
constexpr uint8_t kHighestReplyType = 20;

// The poll sequence: the status cycle, the identification run and the
// rating re-read, each run ended by 0.
constexpr int kIdentificationRunIndex = 13;
// clang-format off
constexpr uint8_t kPollSequence[] = {
    0x33, 0x35, 0x41, 0x34, 0x33, 0x35, 0x41, 0x3B, 0x33, 0x35, 0x41, 0x3C,
    0,
    0x31, 0x36, 0x43, 0x33, 0x3C, 0x41, 0x34, 0x35, 0x3B,
    0,
    0x36,
    0,
};
// clang-format on
constexpr int kPollSequenceLength =
    static_cast<int>(sizeof kPollSequence / sizeof kPollSequence[0]);

// Text length of a builder's input inside its buffer.
size_t TextLength(const uint8_t* buffer, size_t capacity) {
  return BoundedLength(reinterpret_cast<const char*>(buffer), capacity);
}

// A request with no data: its ID alone.
template <uint8_t kId>
int BuildPlainRequest(const UpsState& state, uint8_t* buffer, size_t capacity) {
  return BuildFrame(state, kId, nullptr, 0, buffer, capacity);
}

int BuildFixedCodeRequest(const UpsState& state, uint8_t* buffer,
                          size_t capacity) {
  // Assembled here from its parts rather than kept as one stored string.
  const uint8_t code[3] = {kFixedCodeByte0, kFixedCodeByte1, kFixedCodeByte2};
  return BuildFrame(state, kRequestFixedCode, code, sizeof code, buffer,
                    capacity);
}

// The "g" or "g,t" text of the control requests. g: the number before the
// comma; a failed read or 0 means all groups (0xFF), else its low byte (with
// `zero_byte_is_all`, a low byte of 0 also means all). t: the number after
// the comma, negative values giving 0, no comma giving `default_t`; a comma
// with no number after it is an error.
bool ParseControlText(const uint8_t* buffer, size_t capacity, int default_t,
                      bool zero_byte_is_all, uint8_t* g, int* t) {
  const char* text = reinterpret_cast<const char*>(buffer);
  size_t length = TextLength(buffer, capacity);

  TextScanner scan(text, length);
  int group = 0;
  if (!scan.ReadInt(&group) || group == 0) {
    *g = 0xFF;
  } else {
    *g = static_cast<uint8_t>(group & 0xFF);
    if (zero_byte_is_all && *g == 0) *g = 0xFF;
  }

  const void* comma = std::memchr(text, ',', length);
  if (comma == nullptr) {
    *t = default_t;
    return true;
  }
  size_t after =
      static_cast<size_t>(static_cast<const char*>(comma) - text) + 1;
  TextScanner rest(text + after, length - after);
  int value = 0;
  if (!rest.ReadInt(&value)) return false;
  *t = value < 0 ? 0 : value;
  return true;
}

// 0x89 and 0x8B go out as request 0x97 with a sub-code: 4 cancel, 3 shut
// down.
int BuildSubcodedRequest(const UpsState& state, uint8_t subcode,
                         uint8_t* buffer, size_t capacity) {
  uint8_t g;
  int t;
  if (!ParseControlText(buffer, capacity, 1, true, &g, &t)) return -1;
  const uint8_t data[4] = {subcode, g, static_cast<uint8_t>(t & 0xFF),
                           static_cast<uint8_t>((t >> 8) & 0xFF)};
  return BuildFrame(state, 0x97, data, sizeof data, buffer, capacity);
}

int BuildCancelRequest(const UpsState& state, uint8_t* buffer,
                       size_t capacity) {
  return BuildSubcodedRequest(state, 4, buffer, capacity);
}

int BuildShutdownRequest(const UpsState& state, uint8_t* buffer,
                         size_t capacity) {
  return BuildSubcodedRequest(state, 3, buffer, capacity);
}

// 0x8A, 0x91 and 0x93: t, then g only when a single group is meant.
int BuildTimedRequest(const UpsState& state, uint8_t id, int default_t,
                      uint8_t* buffer, size_t capacity) {
  uint8_t g;
  int t;
  if (!ParseControlText(buffer, capacity, default_t, false, &g, &t)) {
    return -1;
  }
  uint8_t data[3] = {static_cast<uint8_t>(t & 0xFF),
                     static_cast<uint8_t>((t >> 8) & 0xFF), g};
  size_t length = g != 0xFF ? 3 : 2;
  return BuildFrame(state, id, data, length, buffer, capacity);
}

int BuildShutdownRestartRequest(const UpsState& state, uint8_t* buffer,
                                size_t capacity) {
  // An empty text reads as "0,60": all groups, 60.
  return BuildTimedRequest(state, kRequestShutdownRestart, 60, buffer,
                           capacity);
}

int BuildScheduleOnRequest(const UpsState& state, uint8_t* buffer,
                           size_t capacity) {
  return BuildTimedRequest(state, kRequestScheduleOn, 1, buffer, capacity);
}

int BuildScheduleOffRequest(const UpsState& state, uint8_t* buffer,
                            size_t capacity) {
  return BuildTimedRequest(state, kRequestScheduleOff, 1, buffer, capacity);
}

int BuildTestRequest(const UpsState& state, uint8_t* buffer, size_t capacity) {
  const uint8_t data[2] = {1, 125};
  return BuildFrame(state, kRequestTest, data, sizeof data, buffer, capacity);
}

int BuildSettingRequest(const UpsState& state, uint8_t* buffer,
                        size_t capacity) {
  // The caller has put the three setting bytes at the start of the buffer.
  if (capacity < 3) return -1;
  return BuildFrame(state, kRequestSetting, buffer, 3, buffer, capacity);
}

}  // namespace

const BinaryMessageRow BinaryMessageTable[18] = {
    {0x0131, BuildPlainRequest<0x31>, ParseIdentification},
    {0x0636, BuildPlainRequest<0x36>, ParseRatingsAndTexts},
    {0x1343, BuildPlainRequest<0x43>, ParseOperatingState},
    {0x0333, BuildPlainRequest<0x33>, ParseFlags},
    {0x0C3C, BuildPlainRequest<0x3C>, ParseLimits},
    {0x0434, BuildPlainRequest<0x34>, ParseMeasurements},
    {0x0535, BuildPlainRequest<0x35>, ParseAlarmValues},
    {0x1141, BuildPlainRequest<0x41>, ParseGroups},
    {0x0B3B, BuildPlainRequest<0x3B>, ParseTestState},
    {0x00CF, BuildFixedCodeRequest, nullptr},
    {0x0989, BuildCancelRequest, ParseConfirmation},
    {0x098A, BuildShutdownRestartRequest, ParseConfirmation},
    {0x098B, BuildShutdownRequest, ParseConfirmation},
    {0x0991, BuildScheduleOnRequest, ParseConfirmation},
    {0x0993, BuildScheduleOffRequest, ParseConfirmation},
    {0x09B1, BuildTestRequest, ParseConfirmation},
    {0x0995, BuildSettingRequest, ParseConfirmation},
    {0, nullptr, nullptr},
};

int BuildFrame(const UpsState& state, uint8_t id, const uint8_t* data,
               size_t data_length, uint8_t* buffer, size_t capacity) {
  if (data_length > 254) return -1;
  bool probing = state.protocol_mode.load(kRelaxed) == -1;
  size_t frame_length = data_length + 4 + (probing ? 1 : 0);
  if (buffer == nullptr || frame_length > capacity) return -1;
  // The data may live in the buffer itself (the setting request), so it is
  // moved first.
  if (data_length > 0) std::memmove(buffer + 3, data, data_length);
  buffer[0] = kFrameStart;
  buffer[1] = static_cast<uint8_t>(data_length + 1);
  buffer[2] = id;
  unsigned sum = 0;
  for (size_t i = 0; i < data_length + 3; ++i) sum += buffer[i];
  buffer[data_length + 3] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
  if (probing) buffer[data_length + 4] = kCarriageReturn;
  return static_cast<int>(frame_length);
}

int BuildRequest(const UpsState& state, uint8_t id, uint8_t* buffer,
                 size_t capacity) {
  for (const BinaryMessageRow* row = BinaryMessageTable; row->key != 0; ++row) {
    if ((row->key & 0xFF) != id) continue;
    if (row->build == nullptr) return -1;
    return row->build(state, buffer, capacity);
  }
  return -1;
}

int JoinReply(UpsState& state, ReplyAssembly& reply, const uint8_t* bytes,
              size_t count) {
  reply.count = 0;
  if (bytes == nullptr || count < kReplyMinimumSize) return 0;

  size_t position = 0;
  int expected_number = 1;
  int frames = 0;
  while (count - position > kReplyMinimumSize - 1) {
    const void* start =
        std::memchr(bytes + position, kFrameStart, count - position);
    if (start == nullptr) break;
    position = static_cast<size_t>(static_cast<const uint8_t*>(start) - bytes);
    const uint8_t* frame = bytes + position;
    size_t available = count - position;
    if (available < kReplyMinimumSize) return 0;

    uint8_t type = frame[1];
    uint8_t length = frame[2];
    uint8_t number = frame[3];
    if (type < 1 || type > kHighestReplyType) return 0;
    if (length < 1 || (length & 0x80) != 0) return 0;
    if ((number & 0x7F) != expected_number) return 0;
    size_t frame_size = kReplyHeaderSize + length + 1;
    // A frame cut short by the end of the bytes cannot be checked.
    if (frame_size > available) return 0;
    unsigned sum = 0;
    for (size_t i = 0; i < frame_size; ++i) sum += frame[i];
    if ((sum & 0xFF) != 0) return 0;

    // A chain longer than the record is cut at its size.
    size_t room = static_cast<size_t>(kReplyAssemblySize - reply.count);
    size_t take = length < room ? length : room;
    std::memcpy(reply.bytes + reply.count, frame + kReplyHeaderSize, take);
    reply.count += static_cast<int32_t>(take);
    ++frames;

    if ((number & kLastFrameBit) != 0) {
      state.protocol_mode.store(1, kRelaxed);
      return 1;
    }
    position += frame_size;
    ++expected_number;
  }
  // Bytes ran out before a last frame: what was joined counts, but bytes
  // without a single frame are no binary reply at all.
  return frames > 0 ? 1 : 0;
}

int DispatchReply(UpsState& state, const ReplyAssembly& reply,
                  const uint8_t* bytes, size_t count) {
  if (bytes == nullptr) return -1;
  const void* start = std::memchr(bytes, kFrameStart, count);
  if (start == nullptr) return -1;
  size_t offset =
      static_cast<size_t>(static_cast<const uint8_t*>(start) - bytes);
  if (offset + 1 >= count) return -1;
  uint8_t type = bytes[offset + 1];
  for (const BinaryMessageRow* row = BinaryMessageTable; row->key != 0; ++row) {
    if (((row->key >> 8) & 0xFF) != type) continue;
    if (row->parse == nullptr) return -1;
    return row->parse(state, reply);
  }
  return -1;
}

int CurrentPollId(UpsState& state) {
  int index = state.poll_index.load(kRelaxed);
  if (index < 0) index = kIdentificationRunIndex;
  if (index >= kPollSequenceLength || kPollSequence[index] == 0) index = 0;
  state.poll_index.store(static_cast<int8_t>(index), kRelaxed);
  return kPollSequence[index];
}

void AdvancePoll(UpsState& state) {
  int next = state.poll_index.load(kRelaxed) + 1;
  if (next < 0 || next >= kPollSequenceLength || kPollSequence[next] == 0) {
    next = 0;
  }
  state.poll_index.store(static_cast<int8_t>(next), kRelaxed);
}

bool ReplyConfirms(const ReplyAssembly& reply) {
  return reply.count >= 2 && reply.bytes[0] == '1';
}

}  // namespace zep
