// zepe: called from batch files to turn the numbers the service passes them
// into the texts of the service's message tables, with the date, the time and
// an optional beep, all on one line of standard output.
#include <cstdio>
#include <string>

#include "converter.h"
#include "date_time.h"
#include "process.h"
#include "udp.h"

namespace {

class ServiceIo : public zep::ConverterIo {
 public:
  ServiceIo(zep::UdpEndpoint* endpoint, const zep::LocalTime& now)
      : endpoint_(endpoint), now_(now) {}

  int LookUp(int table, int identifier, int column, std::string* text) override {
    char buffer[261];
    int n = zep::RequestText(buffer, endpoint_, table, identifier, column);
    if (n < 0) return -1;
    text->assign(buffer, static_cast<size_t>(n));
    return n;
  }
  bool ShortDate(std::string* out) override { return zep::RenderShortDate(now_, out); }
  bool Time24(std::string* out) override { return zep::RenderTime24(now_, out); }
  bool DatePicture(const std::string& picture, std::string* out) override {
    return zep::RenderDatePicture(now_, picture, out);
  }
  bool TimePicture(const std::string& picture, std::string* out) override {
    return zep::RenderTimePicture(now_, picture, out);
  }
  void Beep(int frequency, int duration_ms) override { zep::SoundBeep(frequency, duration_ms); }
  void Pause(int duration_ms) override { zep::SleepMilliseconds(duration_ms); }

 private:
  zep::UdpEndpoint* endpoint_;
  zep::LocalTime now_;
};

void PrintUsage() { std::fputs(zep::UsageLine().c_str(), stdout); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage();
    return 0;
  }
  zep::UdpEndpoint endpoint;
  if (zep::OpenEndpoint(&endpoint, 0) <= 0) {
    zep::CloseEndpoint(&endpoint);
    PrintUsage();
    return zep::ExitCodeForResult(-1);
  }
  // Every date and time option of one call shows the same moment.
  zep::LocalTime now = zep::ReadLocalTime();
  zep::SetPeerPort(&endpoint, zep::kExternalPort);

  ServiceIo io(&endpoint, now);
  std::string line;
  int count = zep::ConvertOptions(argc, argv, io, &line);
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
  zep::CloseEndpoint(&endpoint);
  if (count <= 0) PrintUsage();
  return zep::ExitCodeForResult(count);
}
