// The UPS simulator: plays a UPS on the far end of a pseudo-terminal, in the
// text command language or the binary frame protocol, in one of the states
// of sim_state.h. It answers only while the line is set to the speed the
// simulated UPS runs at; at any other speed it reads and stays silent, as a
// real UPS would hear only noise.
//
// Start() creates the terminal and serves it from a background thread until
// Stop(). Every setter may be called at any time from any thread; the next
// request is answered with the new settings.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "binary_frames.h"
#include "exchange_log.h"
#include "pseudo_terminal.h"
#include "sim_state.h"
#include "ups_models.h"

namespace zep {

struct SimOptions {
  SimProtocol protocol = SimProtocol::kText;
  /// The line speed the UPS answers at, in bits per second.
  int baud = 2400;
  /// When not empty: a symbolic link to the terminal's slave side.
  std::string link_path;
  /// When not empty: the exchange log is also written to this file.
  std::string log_path;
  /// A model of kUpsModels; empty: the protocol's default model.
  std::string model;
  SimState state = SimState::kNormal;
  /// Seed of the noise the garbage state sends (the same seed gives the
  /// same noise).
  uint32_t seed = 1;
  /// Whether each answer takes the time its bytes need on the line (ten
  /// bits a byte at the UPS's speed) before it arrives, as from a real UPS;
  /// otherwise it is there at once.
  bool line_time = false;
};

/// What the simulator has seen. Only requests that arrived at the right
/// speed count as seen; the others count as ignored.
struct SimCounters {
  /// Text requests by the command table's prefix ("&S1\r", "QQ\r", "S",
  /// "&Z", ...), "?" for unknown commands, "probe" for binary probes.
  std::map<std::string, int> text_requests;
  /// Binary requests by request ID.
  std::map<int, int> frame_requests;
  int probes = 0;    ///< binary request frames followed by CR
  int ignored = 0;   ///< requests that arrived at a wrong line speed
  int answers = 0;   ///< answers written to the line
  int controls = 0;  ///< control commands taken (not in silence/garbage)
  int dropped = 0;   ///< bytes thrown away as incomplete or malformed
  /// The last control command: the text (CR included) or the frame.
  std::string last_control_text;
  std::vector<uint8_t> last_control_frame;
};

class Simulator {
 public:
  explicit Simulator(SimOptions options = SimOptions());
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  /// Creates the terminal (and the link and the log file) and starts
  /// serving. False with a reason in `error` when any of it fails.
  bool Start(std::string* error);
  /// Stops serving and closes the terminal; removes the link.
  void Stop();
  bool Running() const;

  /// The slave's path ("/dev/pts/N"); empty while not running.
  std::string DevicePath() const;
  /// The link to the slave, when one was asked for.
  std::string LinkPath() const;

  void SetProtocol(SimProtocol protocol);
  SimProtocol Protocol() const;
  void SetBaud(int baud);
  int Baud() const;
  void SetState(SimState state);
  SimState State() const;
  /// Chooses a model by name; it becomes the model of its own protocol.
  /// False for an unknown name.
  bool SetModel(const std::string& name);
  /// The model of the current protocol.
  std::string ModelName() const;
  /// Whether control commands are refused ("NG\r", or a "0" confirmation).
  void SetRejectControls(bool reject);
  bool RejectControls() const;
  /// Whether every answer is cut to half its length (a text answer keeps
  /// its CR, so it still looks complete, but has the wrong length): a line
  /// that garbles what the UPS says, whatever state the UPS is in.
  void SetCutAnswers(bool cut);
  bool CutAnswers() const;

  /// Unplugs and plugs the line back, as a USB serial adapter pulled out
  /// and put in again: the terminal is closed (the service's open handle
  /// goes dead) and a new one is made, the link pointing at it. Needs a
  /// link (the new terminal has another device path). False with a reason
  /// in `error` when it fails; the simulator then no longer serves.
  bool Replug(std::string* error);

  SimCounters Counters() const;
  void ResetCounters();
  /// The exchange log (thread-safe).
  ExchangeLog& Log() { return log_; }
  std::vector<std::string> LogLines() const { return log_.Lines(); }

 private:
  struct Settings;
  void Serve();
  void StopServing();
  void Consume(const uint8_t* bytes, size_t size);
  void HandleText(const std::string& request);
  void HandleFrame(const RequestFrame& frame);
  /// True when the request may be answered; logs and counts it otherwise.
  bool AtRightSpeed(const Settings& settings);
  Settings Snapshot() const;
  void Send(const std::vector<uint8_t>& bytes, bool binary);
  std::vector<uint8_t> Noise(bool binary, const std::vector<uint8_t>& reply);

  mutable std::mutex mutex_;  // guards everything below but the terminal
  SimProtocol protocol_;
  int baud_;
  SimState state_;
  const UpsModel* text_model_;
  const UpsModel* binary_model_;
  bool reject_controls_ = false;
  bool cut_answers_ = false;
  int mode_setting_ = 0;
  bool line_time_ = false;
  SimCounters counters_;
  std::string link_path_;
  std::string log_path_;
  std::string device_path_;
  std::string unknown_model_;

  // Used by the serving thread only.
  PseudoTerminal terminal_;
  std::string text_pending_;
  std::vector<uint8_t> frame_pending_;
  SimProtocol pending_protocol_ = SimProtocol::kText;
  int64_t last_receive_ms_ = 0;
  std::mt19937 noise_;
  int noise_count_ = 0;

  ExchangeLog log_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
  int wake_pipe_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace zep
