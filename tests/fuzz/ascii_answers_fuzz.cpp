// Fuzz target: the monitor's readers of the answers of an ASCII UPS ("&S1",
// "QQ", "&R", "Q1", "&M", "%M"), the ratings worked out from a model text,
// and the field helpers beneath them. Each answer is handed over in a
// buffer of exactly its length, as the monitor receives it, so that a read
// past the answer is caught.
//
// Input: a mode byte (bit 0: the protocol mode, 0 ASCII or 1 binary), then
// the answer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "protocol/answer_fields.h"
#include "protocol/ascii_answers.h"
#include "protocol/status_datagrams.h"

namespace zep {
namespace {

bool AnyTagOf(const AnswerValues& values, int tag) {
  for (int i = 0; i < values.count; ++i) {
    if (values.values[i].tag == tag) return true;
  }
  return false;
}

void CheckValues(const AnswerValues& values, int most) {
  Check(values.count >= 0 && values.count <= most,
        "an answer gives no more values than it has fields");
  for (int i = 0; i < values.count; ++i) {
    Check(values.values[i].value >= 0.0, "a value read is never negative");
  }
  // The values go on to the meter thread in a datagram.
  ValueDatagram datagram;
  int length = AppendAnswerValues(&datagram, values);
  Check(length == kValueHeaderSize + kValueSize * values.count,
        "every value read fits the datagram");
}

bool Terminated(const char* text, size_t size) {
  return std::memchr(text, '\0', size) != nullptr;
}

void ReadAnswers(const char* answer, int length, int mode) {
  StatusRingEntry entry;
  if (ReadStatusAnswer(answer, length, 0, &entry) == 1) {
    Check(length == kStatusAnswerLength, "\"&S1\" is read at 16 bytes only");
    Check((entry.state & 0x02) != 0, "a state byte used has bit 0x02");
  }

  AnswerValues values;
  uint8_t status_bits = 0;
  if (ReadQqAnswer(answer, length, mode, &values, &status_bits) == 1) {
    Check(length == kQqAnswerLength, "\"QQ\" is read at 54 bytes only");
    CheckValues(values, 8);
    Check(!AnyTagOf(values, mode == 0 ? 169 : 201),
          "\"QQ\" tags its power by the protocol");
  }

  int figure = -12345;
  if (ReadBatteryAnswer(answer, length, &figure) == 1) {
    Check(length == kBatteryAnswerLength, "\"&R\" is read at 16 bytes only");
    Check(figure == -12345 || (figure >= -99 && figure <= 999),
          "the battery figure has at most three characters");
  }

  AnswerValues q1;
  if (ReadQ1Answer(answer, length, mode, 1234.0f, 50.0f, &q1) == 1) {
    Check(length == kQ1AnswerLength, "\"Q1\" is read at 47 bytes only");
    CheckValues(q1, 8);
    if (mode == 0) {
      Check(!AnyTagOf(q1, 169) && !AnyTagOf(q1, 176),
            "an ASCII UPS's \"Q1\" adds no binary measurements");
    }
  }

  IdentityTexts texts;
  if (ReadModelAnswer(answer, length, mode, &texts) == 1) {
    Check(Terminated(texts.model_text, sizeof texts.model_text),
          "the model text is terminated");
    Check(std::strlen(texts.model_text) <= 9,
          "the model text of \"&M\" comes from its first 9 characters");
  }
  IdentityTexts version;
  if (ReadVersionAnswer(answer, length, mode, "ID TEXT B 16 CHR",
                        &version) == 1) {
    Check(Terminated(version.model_text, sizeof version.model_text) &&
              Terminated(version.version_text, sizeof version.version_text) &&
              Terminated(version.rating_text, sizeof version.rating_text) &&
              Terminated(version.rating_record, sizeof version.rating_record),
          "the identity texts are terminated");
    Check(std::strlen(version.model_text) <= 13,
          "the model text of \"%M\" fits its field");
  }
}

void ReadModelText(const std::string& text) {
  Ratings ratings = AsciiRatings(text.c_str());
  Check(ratings.rated_va >= 0 && ratings.rated_va % 100 == 0,
        "the VA rating is a whole number of hundreds");
  Check(ratings.rated_w >= 0 && ratings.rated_w <= ratings.rated_va,
        "the watts never exceed the VA");
  ValueDatagram datagram;
  int length = AppendRatingValues(&datagram, ratings);
  Check(length <= kValueHeaderSize + 6 * kValueSize,
        "the ratings give at most six values");

  for (bool binary : {false, true}) {
    char cut[14];
    std::memset(cut, 'x', sizeof cut);
    int end = CutModelText(cut, sizeof cut, text.c_str(), binary);
    Check(end >= 0 && static_cast<size_t>(end) <= text.size(),
          "the model part lies within the text");
    Check(Terminated(cut, sizeof cut), "the model part's copy is terminated");
    Check(std::strlen(cut) <= static_cast<size_t>(end),
          "the copy is no longer than the model part");
  }
}

void ReadFields(const std::string& text) {
  int value = -7;
  ReadTenths(text.c_str(), &value);
  int field = -7;
  int step = ReadField(&field, text.c_str());
  Check(step >= 0 && static_cast<size_t>(step) <= text.size(),
        "a field step stays within the text");
  Check(field == -7 || field >= 0, "a field read is never negative");
  int three = -12345;
  Check(ReadThreeDigits(&three, text.c_str()) == 3, "three characters read");
  Check(three == -12345 || (three >= -99 && three <= 999),
        "three characters give at most three digits");
  char fixed[8];
  CopyFixed(fixed, sizeof fixed, text.c_str(), true);
  Check(Terminated(fixed, sizeof fixed), "a fixed copy is terminated");
}

}  // namespace
}  // namespace zep

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;
  if (size < 1) return 0;
  const int mode = data[0] & 0x01;
  // Exactly the bytes received: no terminator, nothing beyond.
  std::vector<char> answer(data + 1, data + size);
  const int length = static_cast<int>(answer.size());
  ReadAnswers(answer.empty() ? "" : answer.data(), length, mode);

  std::string text(answer.begin(), answer.end());
  text = text.c_str();  // up to the first NUL, as the monitor keeps texts
  ReadModelText(text);
  ReadFields(text);
  return 0;
}
