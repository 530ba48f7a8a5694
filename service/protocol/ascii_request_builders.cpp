// Control commands of the ASCII language turned into binary requests. Each
// builder writes the "g" or "g,t" text that the binary message table's
// builder of the chosen request reads (g: group, 255 for all; t: time), and
// lets that builder make the frame in the same buffer.
#include <climits>
#include <cstring>

#include "protocol/ascii_builders.h"
#include "protocol/binary_frames.h"
#include "protocol/text_scan.h"
#include "protocol/ups_state.h"
#include "text_format.h"

namespace zep {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kAllGroups = 255;

// Writes the request's text form and builds the request from it.
int BuildFromText(const UpsState& state, uint8_t id, const std::string& text,
                  char* buffer, size_t capacity) {
  if (text.size() + 1 > capacity) return -1;
  CopyText(buffer, capacity, text.c_str());
  return BuildRequest(state, id, reinterpret_cast<uint8_t*>(buffer), capacity);
}

// Products of times that stay inside int.
int Multiply(int value, int factor) {
  long long product = static_cast<long long>(value) * factor;
  if (product > INT_MAX) return INT_MAX;
  if (product < INT_MIN) return INT_MIN;
  return static_cast<int>(product);
}

// Whole minutes in `seconds`, rounded up.
int CeilMinutes(int seconds) {
  long long s = seconds;
  return static_cast<int>(s > 0 ? (s + 59) / 60 : s / 60);
}

// The "F" form of a group schedule (and the short "S" form): t minutes, or
// t seconds with the "." form.
int BuildGroupOff(const UpsState& state, int group, int t, bool dotted,
                  char* buffer, size_t capacity) {
  if (dotted) {
    if (t <= 0) {
      return BuildFromText(state, kRequestShutdown, FormatText("%d", group),
                           buffer, capacity);
    }
    return BuildFromText(state, kRequestShutdown,
                         FormatText("%d,%d", group, Multiply(t, 6)), buffer,
                         capacity);
  }
  return BuildFromText(state, kRequestScheduleOff,
                       FormatText("%d,%d", group, t), buffer, capacity);
}

}  // namespace

int BuildCancelCommand(UpsState& state, char* buffer, size_t capacity) {
  if (CountGroupsInState3(state) == 0) {
    return BuildFromText(state, kRequestCancel, "0", buffer, capacity);
  }
  return BuildFromText(state, kRequestScheduleOff, "0,0", buffer, capacity);
}

int BuildTestCommand(UpsState& state, char* buffer, size_t capacity) {
  return BuildRequest(state, kRequestTest, reinterpret_cast<uint8_t*>(buffer),
                      capacity);
}

int BuildSettingCommand(UpsState& state, char* buffer, size_t capacity) {
  size_t length = BoundedLength(buffer, capacity);
  if (length < 2 || capacity < 3) return 0;
  TextScanner scan(buffer + 2, length - 2);
  unsigned code = 0;
  // A setting command without its number is not guessed at.
  if (!scan.ReadHex(&code)) return 0;

  int value;
  switch (code & 7) {
    case 0:
      value = 3;
      break;
    case 1:
      value = OperatingStateCode(state) == 9 ? 5 : 0;
      break;
    case 4:
      value = 4;
      break;
    case 7:
      value = 1;
      break;
    default:  // 2, 3, 5 and 6 keep the present setting
      value = state.mode_setting.load(kRelaxed);
      break;
  }
  buffer[0] = 6;
  buffer[1] = static_cast<char>(value & 0xFF);
  buffer[2] = static_cast<char>((value >> 8) & 0xFF);
  int built = BuildRequest(state, kRequestSetting,
                           reinterpret_cast<uint8_t*>(buffer), capacity);
  if (built > 0) {
    state.pending_mode_setting.store(static_cast<int16_t>(value), kRelaxed);
  }
  return built;
}

int BuildShutdownCommand(UpsState& state, char* buffer, size_t capacity) {
  size_t length = BoundedLength(buffer, capacity);
  // "S" minutes (two digits), or "S." seconds; then optionally a letter and
  // a five-digit restart value.
  bool dotted = std::memchr(buffer, '.', length) != nullptr;
  TextScanner scan(buffer, length);
  int fields = 0;
  char letter = 0;
  int number = 0;
  int restart = 0;
  if (scan.ReadChar(&letter)) {
    fields = 1;
    if ((!dotted || scan.Literal('.')) &&
        scan.ReadInt(&number, dotted ? 0 : 2)) {
      fields = 2;
      if (scan.ReadChar(&letter)) {
        fields = 3;
        if (scan.ReadInt(&restart, 5)) fields = 4;
      }
    }
  }
  if (fields < 2) return 0;

  int seconds = dotted ? number : Multiply(number, 60);
  int minutes = CeilMinutes(seconds);

  if (fields < 4) {
    if (seconds < 60) {
      if (seconds <= 0) {
        return BuildFromText(state, kRequestShutdown, "255", buffer, capacity);
      }
      return BuildFromText(
          state, kRequestShutdown,
          FormatText("%d,%d", kAllGroups, Multiply(seconds, 6)), buffer,
          capacity);
    }
    return BuildFromText(state, kRequestScheduleOff,
                         FormatText("%d,%d", kAllGroups, minutes), buffer,
                         capacity);
  }

  uint8_t id = kRequestShutdownRestart;
  if (restart >= 99999) id = kRequestShutdown;
  if (restart == 0) {
    id = kRequestScheduleOff;
    seconds = minutes;
  }
  if (seconds <= 0) seconds = 30;
  return BuildFromText(state, id, FormatText("%d,%d", kAllGroups, seconds),
                       buffer, capacity);
}

int BuildGroupCommand(UpsState& state, char* buffer, size_t capacity) {
  size_t length = BoundedLength(buffer, capacity);
  TextScanner scan(buffer, length);
  int group = 0;
  char letter = 0;
  // The group number is read whole, so the two-digit groups of the
  // external command frames ("E05S02X") work as well as one-digit ones; the
  // arguments follow the letter.
  if (!scan.Literal('E') || !scan.ReadInt(&group) || !scan.ReadChar(&letter)) {
    return 0;
  }
  if (group == 0) group = kAllGroups;
  size_t args = scan.position();
  const char* arguments = buffer + args;
  size_t arguments_length = length - args;
  bool dotted = arguments_length > 0 && arguments[0] == '.';

  switch (letter) {
    case 'C':
      return BuildFromText(state, kRequestCancel, FormatText("%d", group),
                           buffer, capacity);

    case 'O': {
      TextScanner values(arguments, arguments_length);
      int value = 0;
      // Without its value the command says nothing to send.
      if (!values.ReadInt(&value, 5)) return 0;
      if (value > 99998) value = 0;
      uint8_t id = value <= 0 ? kRequestCancel : kRequestScheduleOn;
      return BuildFromText(state, id, FormatText("%d,%d", group, value), buffer,
                           capacity);
    }

    case 'S':
    case 'F': {
      TextScanner values(arguments, arguments_length);
      int t = 0;
      bool read = dotted ? values.Literal('.') && values.ReadInt(&t)
                         : values.ReadInt(&t, 2);
      if (!read) return 0;
      if (letter == 'S') {
        char restart_letter = 0;
        int restart = 0;
        if (values.ReadChar(&restart_letter) && values.ReadInt(&restart, 5)) {
          // Off after t minutes, then on again; without a usable restart
          // value, off only. With a restart value the "." form counts in
          // minutes too: only the off-only requests take seconds.
          t = Multiply(t, 60);
          uint8_t id =
              restart > 99998 ? kRequestShutdown : kRequestShutdownRestart;
          return BuildFromText(state, id, FormatText("%d,%d", group, t), buffer,
                               capacity);
        }
      }
      return BuildGroupOff(state, group, t, dotted, buffer, capacity);
    }

    default:
      return 0;
  }
}

}  // namespace zep
