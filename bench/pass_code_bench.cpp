// zep_pass_code_bench (Google Benchmark): the CPU that the service's own
// code spends on one polling pass, with every wait taken out. zep_bench
// measures the whole process, whose time goes mostly to the kernel waking
// the threads for their prescribed waits; this shows how little of it is
// the code itself.
//
// - UseAnswers: the monitor's use of the four answers of a text UPS (status
//   bytes, measurements into value datagrams, the battery figure text) and
//   the condition report at the end of the pass.
// - UpsIoCommands: the UPS I/O thread's handling of the four commands
//   through a serial link that answers at once, trace lines included
//   (bench/run.sh sends them to /dev/null).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "protocol/ascii_answers.h"
#include "protocol/binary_frames.h"
#include "protocol/condition_table.h"
#include "protocol/serial_link.h"
#include "protocol/status_datagrams.h"
#include "protocol/ups_io.h"
#include "protocol/ups_state.h"
#include "text_format.h"

namespace {

// The answers of the simulator's text UPS in its normal state, CR included.
constexpr const char* kCommands[] = {"&S1\r", "QQ\r", "&R\r", "Q1\r"};
constexpr const char* kAnswers[] = {
    "000200100101100\r",
    "(1010 1000 FFFFFFFF 035 500 500 0275 250 005 00000110\r",
    "250250000010099\r",
    "(101.0 101.0 100.0 035 50.0 27.5 25.0 00000001\r",
};

int Length(const char* text) { return static_cast<int>(std::strlen(text)); }

void UseAnswers(benchmark::State& bench) {
  zep::UpsState state;
  zep::ResetUpsState(state);
  state.protocol_mode.store(0);
  zep::StatusRingEntry entry;
  zep::ReportedConditions reported;
  int datagrams = 0;
  const zep::DatagramSender send = [&datagrams](const uint8_t*, int length) {
    ++datagrams;
    return length;
  };
  for (auto _ : bench) {
    zep::AnswerValues values;
    zep::ValueDatagram datagram;
    zep::ReadStatusAnswer(kAnswers[0], Length(kAnswers[0]), 0, &entry);
    zep::ReadQqAnswer(kAnswers[1], Length(kAnswers[1]), 0, &values,
                      &entry.status_bits);
    benchmark::DoNotOptimize(zep::AppendAnswerValues(&datagram, values));
    int figure = 0;
    zep::ReadBatteryAnswer(kAnswers[2], Length(kAnswers[2]), &figure);
    char text[12];
    zep::FormatFixed(text, sizeof text, "%d", figure);
    benchmark::DoNotOptimize(text);
    values = zep::AnswerValues();
    datagram = zep::ValueDatagram();
    zep::ReadQ1Answer(kAnswers[3], Length(kAnswers[3]), 0, -1.0f, -1.0f,
                      &values);
    benchmark::DoNotOptimize(zep::AppendAnswerValues(&datagram, values));
    zep::ReportConditionChanges(state, &reported, entry.alarm_summary,
                                entry.state, entry.status_bits, send);
  }
  benchmark::DoNotOptimize(datagrams);
}
BENCHMARK(UseAnswers);

// A UPS that has its answer waiting as soon as the command is written.
class InstantLink : public zep::SerialLink {
 public:
  void FlushTx() override {}
  void FlushRx() override { waiting_ = nullptr; }
  int Send(const uint8_t* bytes, int length) override {
    for (int i = 0; i < 4; ++i) {
      if (Length(kCommands[i]) == length &&
          std::memcmp(kCommands[i], bytes, static_cast<size_t>(length)) == 0) {
        waiting_ = kAnswers[i];
      }
    }
    return 1;
  }
  int RecvChars(int, int, int, int most) override {
    if (waiting_ == nullptr) return 0;
    const int length = Length(waiting_);
    return length < most ? length : most;
  }
  int RecvString(uint8_t* buffer, int count) override {
    if (waiting_ == nullptr) return -1;
    std::memcpy(buffer, waiting_, static_cast<size_t>(count));
    waiting_ = nullptr;
    return count;
  }

 private:
  const char* waiting_ = nullptr;
};

void UpsIoCommands(benchmark::State& bench) {
  zep::UpsState state;
  zep::ResetUpsState(state);
  state.protocol_mode.store(0);
  zep::ReplyAssembly reply;
  InstantLink link;
  zep::Translator translator = {state, reply, link};
  for (auto _ : bench) {
    for (const char* command : kCommands) {
      zep::UpsIoResult result = zep::HandleUpsCommand(
          translator, reinterpret_cast<const uint8_t*>(command),
          std::strlen(command));
      benchmark::DoNotOptimize(result);
    }
  }
}
BENCHMARK(UpsIoCommands);

}  // namespace

BENCHMARK_MAIN();
