// Fuzz target: the command line that a batch file gives the external
// module, through ConvertOptions, with texts from a stand-in for the
// service and the date and time pictures rendered by the project's own
// formatter (the one used on POSIX).
//
// Input: the arguments after the program name, separated by NUL bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "converter.h"
#include "fuzz_check.h"
#include "picture_format.h"

namespace zep {
namespace {

constexpr size_t kMostArguments = 64;

// The picture letters that render longest: "g" gives "A.D.", and a run of
// "d" or "M" the name of a day or month.
constexpr size_t kMostPerPictureCharacter = 9;

class FakeIo : public ConverterIo {
 public:
  int LookUp(int table, int identifier, int, std::string* text) override {
    if (identifier < 0) return -1;
    // Texts with blanks and one longer than a result may be.
    *text = identifier % 2 == 0 ? std::string(300, 'T')
                                : "text " + std::to_string(table);
    return static_cast<int>(text->size());
  }
  bool ShortDate(std::string* out) override {
    return DatePicture(kShortDatePicture, out);
  }
  bool Time24(std::string* out) override {
    return TimePicture(kTime24Picture, out);
  }
  bool DatePicture(const std::string& picture, std::string* out) override {
    *out = FormatDatePicture(picture, Time());
    Check(out->size() <= picture.size() * kMostPerPictureCharacter,
          "a date picture renders to a bounded text");
    return true;
  }
  bool TimePicture(const std::string& picture, std::string* out) override {
    *out = FormatTimePicture(picture, Time());
    Check(out->size() <= picture.size() * kMostPerPictureCharacter,
          "a time picture renders to a bounded text");
    return true;
  }
  void Beep(int frequency, int) override {
    Check(frequency >= 37 && frequency <= 32767, "beeps stay in range");
  }
  void Pause(int) override {}

 private:
  static LocalTime Time() {
    LocalTime t;
    t.year = 2024;
    t.month = 9;
    t.day = 25;
    t.day_of_week = 3;
    t.hour = 13;
    t.minute = 5;
    t.second = 9;
    return t;
  }
};

}  // namespace
}  // namespace zep

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;
  std::vector<std::string> arguments = {"zepe"};
  std::string current;
  for (size_t i = 0; i < size && arguments.size() < kMostArguments; ++i) {
    if (data[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (arguments.size() < kMostArguments) arguments.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());

  FakeIo io;
  std::string out;
  const int count = ConvertOptions(static_cast<int>(argv.size()), argv.data(),
                                   io, &out);
  Check(count >= 0 && static_cast<size_t>(count) >= out.size(),
        "the count holds every character printed");
  const size_t handled = static_cast<size_t>(count) - out.size();
  Check(handled <= argv.size() / 2, "each option takes its value with it");
  Check(out.size() <= handled * (kResultCapacity + 1),
        "every result fits the result buffer (and its comma)");
  return 0;
}
