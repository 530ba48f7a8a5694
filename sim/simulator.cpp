#include "simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "binary_replies.h"
#include "process.h"
#include "text_answers.h"
#include "text_format.h"

namespace zep {
namespace {

/// Bytes of an unfinished request older than this are dropped when new
/// bytes arrive: a UPS forgets half a command after a pause.
constexpr int64_t kStaleInputMs = 1000;
/// How long an answer may wait for room in the line's queue.
constexpr int kWriteTimeoutMs = 1000;

}  // namespace

struct Simulator::Settings {
  SimProtocol protocol;
  int baud;
  SimState state;
  const UpsModel* model;
  bool reject_controls;
  bool cut_answers;
  int mode_setting;
};

Simulator::Simulator(SimOptions options)
    : protocol_(options.protocol),
      baud_(options.baud),
      state_(options.state),
      text_model_(&DefaultModel(SimProtocol::kText)),
      binary_model_(&DefaultModel(SimProtocol::kBinary)),
      link_path_(options.link_path),
      log_path_(options.log_path),
      noise_(options.seed) {
  line_time_ = options.line_time;
  // An unknown name is remembered so that Start can refuse with a reason.
  if (!options.model.empty() && !SetModel(options.model)) {
    unknown_model_ = options.model;
  }
}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start(std::string* error) {
  if (running_) {
    *error = "the simulator is already running";
    return false;
  }
  if (!unknown_model_.empty()) {
    *error = FormatText("unknown model \"%s\"", unknown_model_.c_str());
    return false;
  }
  if (!log_path_.empty() && !log_.OpenFile(log_path_, error)) return false;
  if (!terminal_.Open(link_path_, error)) {
    log_.CloseFile();
    return false;
  }
  if (pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    *error = "cannot create the wake-up pipe";
    terminal_.Close();
    log_.CloseFile();
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    device_path_ = terminal_.SlavePath();
  }
  text_pending_.clear();
  frame_pending_.clear();
  stopping_ = false;
  running_ = true;
  const Settings s = Snapshot();
  log_.Note(FormatText("serving %s at %d bps as %s (%s protocol), state %s",
                       device_path_.c_str(), s.baud, s.model->name,
                       ProtocolName(s.protocol), StateName(s.state)));
  thread_ = std::thread(&Simulator::Serve, this);
  return true;
}

void Simulator::StopServing() {
  stopping_ = true;
  const char wake = 1;
  if (write(wake_pipe_[1], &wake, 1) < 0) {
    // Only a full pipe refuses the byte, and then the thread is awake.
  }
  if (thread_.joinable()) thread_.join();
}

bool Simulator::Replug(std::string* error) {
  if (!running_) {
    *error = "the simulator is not running";
    return false;
  }
  if (link_path_.empty()) {
    *error = "replugging needs a link (--link)";
    return false;
  }
  StopServing();
  terminal_.Close();
  text_pending_.clear();
  frame_pending_.clear();
  if (!terminal_.Open(link_path_, error)) {
    log_.Note("unplugged; a new terminal could not be made: " + *error);
    std::lock_guard<std::mutex> lock(mutex_);
    device_path_.clear();
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    device_path_ = terminal_.SlavePath();
  }
  log_.Note(FormatText("replugged: now %s", terminal_.SlavePath().c_str()));
  stopping_ = false;
  thread_ = std::thread(&Simulator::Serve, this);
  return true;
}

void Simulator::Stop() {
  if (!running_) return;
  StopServing();
  close(wake_pipe_[0]);
  close(wake_pipe_[1]);
  wake_pipe_[0] = wake_pipe_[1] = -1;
  terminal_.Close();
  log_.Note("stopped");
  log_.CloseFile();
  std::lock_guard<std::mutex> lock(mutex_);
  device_path_.clear();
  running_ = false;
}

bool Simulator::Running() const { return running_; }

std::string Simulator::DevicePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return device_path_;
}

std::string Simulator::LinkPath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return link_path_;
}

void Simulator::SetProtocol(SimProtocol protocol) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    protocol_ = protocol;
  }
  log_.Note(FormatText("protocol %s", ProtocolName(protocol)));
}

SimProtocol Simulator::Protocol() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_;
}

void Simulator::SetBaud(int baud) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    baud_ = baud;
  }
  log_.Note(FormatText("answers at %d bps", baud));
}

int Simulator::Baud() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return baud_;
}

void Simulator::SetState(SimState state) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
  }
  log_.Note(FormatText("state %s", StateName(state)));
}

SimState Simulator::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

bool Simulator::SetModel(const std::string& name) {
  const UpsModel* model = FindModel(name);
  if (model == nullptr) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (model->protocol == SimProtocol::kText) {
      text_model_ = model;
    } else {
      binary_model_ = model;
    }
  }
  log_.Note(FormatText("model %s", model->name));
  return true;
}

std::string Simulator::ModelName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const UpsModel* model =
      protocol_ == SimProtocol::kText ? text_model_ : binary_model_;
  return model != nullptr ? model->name : "";
}

void Simulator::SetRejectControls(bool reject) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reject_controls_ = reject;
  }
  log_.Note(reject ? "control commands refused" : "control commands accepted");
}

bool Simulator::RejectControls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reject_controls_;
}

void Simulator::SetCutAnswers(bool cut) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cut_answers_ = cut;
  }
  log_.Note(cut ? "answers cut to half their length" : "answers whole");
}

bool Simulator::CutAnswers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cut_answers_;
}

SimCounters Simulator::Counters() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counters_;
}

void Simulator::ResetCounters() {
  std::lock_guard<std::mutex> lock(mutex_);
  counters_ = SimCounters();
}

Simulator::Settings Simulator::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Settings s;
  s.protocol = protocol_;
  s.baud = baud_;
  s.state = state_;
  s.model = protocol_ == SimProtocol::kText ? text_model_ : binary_model_;
  s.reject_controls = reject_controls_;
  s.cut_answers = cut_answers_;
  s.mode_setting = mode_setting_;
  return s;
}

void Simulator::Serve() {
  uint8_t buffer[4096];
  while (!stopping_) {
    struct pollfd fds[2] = {{terminal_.MasterFd(), POLLIN, 0},
                            {wake_pipe_[0], POLLIN, 0}};
    // No time-out: a request or Stop's byte on the wake pipe ends the wait.
    const int ready = poll(fds, 2, -1);
    if (ready < 0) {
      if (errno != EINTR) SleepMilliseconds(20);
      continue;
    }
    if (fds[1].revents != 0) {
      char drain[16];
      while (read(wake_pipe_[0], drain, sizeof drain) > 0) {
      }
    }
    if ((fds[0].revents & POLLIN) != 0) {
      const long n = terminal_.Read(buffer, sizeof buffer);
      if (n > 0) Consume(buffer, static_cast<size_t>(n));
    } else if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
      // Not expected while the simulator holds the slave open; avoid
      // spinning if it happens anyway.
      SleepMilliseconds(20);
    }
  }
}

void Simulator::Consume(const uint8_t* bytes, size_t size) {
  const SimProtocol protocol = Protocol();
  const int64_t now = MonotonicMilliseconds();
  const size_t waiting = text_pending_.size() + frame_pending_.size();
  if (waiting > 0 && (protocol != pending_protocol_ ||
                      now - last_receive_ms_ > kStaleInputMs)) {
    log_.Note(
        FormatText("dropped %zu bytes of an unfinished request", waiting));
    std::lock_guard<std::mutex> lock(mutex_);
    counters_.dropped += static_cast<int>(waiting);
    text_pending_.clear();
    frame_pending_.clear();
  }
  pending_protocol_ = protocol;
  last_receive_ms_ = now;

  if (protocol == SimProtocol::kText) {
    text_pending_.append(reinterpret_cast<const char*>(bytes), size);
    std::string request;
    while (TakeTextRequest(&text_pending_, &request)) HandleText(request);
    if (text_pending_.size() > kMaxTextRequest) {
      log_.Received(reinterpret_cast<const uint8_t*>(text_pending_.data()),
                    text_pending_.size(), false);
      log_.Note("too long without a CR, dropped");
      std::lock_guard<std::mutex> lock(mutex_);
      counters_.dropped += static_cast<int>(text_pending_.size());
      text_pending_.clear();
    }
    return;
  }

  frame_pending_.insert(frame_pending_.end(), bytes, bytes + size);
  for (;;) {
    const std::vector<uint8_t> before = frame_pending_;
    RequestFrame frame;
    size_t skipped = 0;
    const FrameScan scan = TakeRequestFrame(&frame_pending_, &frame, &skipped);
    if (scan == FrameScan::kNeedMore) break;
    if (scan == FrameScan::kFrame) {
      HandleFrame(frame);
      continue;
    }
    log_.Received(before.data(), skipped, true);
    log_.Note("not a request frame, dropped");
    std::lock_guard<std::mutex> lock(mutex_);
    counters_.dropped += static_cast<int>(skipped);
  }
}

bool Simulator::AtRightSpeed(const Settings& settings) {
  const int speed = terminal_.LineSpeed();
  if (speed == settings.baud) return true;
  log_.Note(FormatText("line at %d bps, the UPS runs at %d bps: not answered",
                       speed, settings.baud));
  std::lock_guard<std::mutex> lock(mutex_);
  ++counters_.ignored;
  return false;
}

void Simulator::HandleText(const std::string& request) {
  const Settings s = Snapshot();
  const auto* bytes = reinterpret_cast<const uint8_t*>(request.data());
  log_.Received(bytes, request.size(), false);
  if (!AtRightSpeed(s)) return;

  TextContext context;
  context.model = s.model;
  context.readings = ReadingsFor(*s.model, s.state);
  context.reject_controls = s.reject_controls;
  const TextReply reply = AnswerTextCommand(request, context);
  const bool heard =
      s.state != SimState::kSilence && s.state != SimState::kGarbage;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counters_.text_requests[reply.key];
    if (reply.kind == TextCommandKind::kProbe) ++counters_.probes;
    if (heard && reply.kind == TextCommandKind::kControl) {
      ++counters_.controls;
      counters_.last_control_text = request;
    }
  }
  if (s.state == SimState::kSilence) return;
  if (s.state == SimState::kGarbage) {
    Send(Noise(false, {}), false);
    return;
  }
  std::vector<uint8_t> answer(reply.answer.begin(), reply.answer.end());
  if (s.cut_answers && answer.size() > 1) {
    // The first half, and the CR again at its end.
    answer.resize(answer.size() / 2);
    answer.push_back(kCarriageReturn);
  }
  Send(answer, false);
}

void Simulator::HandleFrame(const RequestFrame& frame) {
  const Settings s = Snapshot();
  log_.Received(frame.raw.data(), frame.raw.size(), true);
  if (!AtRightSpeed(s)) return;

  BinaryContext context;
  context.model = s.model;
  context.readings = ReadingsFor(*s.model, s.state);
  context.reject_controls = s.reject_controls;
  context.mode_setting = s.mode_setting;
  const BinaryReply reply = AnswerRequest(frame, context);
  const bool heard =
      s.state != SimState::kSilence && s.state != SimState::kGarbage;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counters_.frame_requests[frame.id];
    if (frame.probe) ++counters_.probes;
    if (heard && reply.control) {
      ++counters_.controls;
      counters_.last_control_frame = frame.raw;
      if (reply.new_mode_setting >= 0) mode_setting_ = reply.new_mode_setting;
    }
  }
  if (s.state == SimState::kSilence) return;
  if (s.state == SimState::kGarbage) {
    Send(Noise(true, ReplyBytes(reply)), true);
    return;
  }
  if (!reply.note.empty()) log_.Note(reply.note);
  if (!reply.answered) return;
  std::vector<uint8_t> bytes = ReplyBytes(reply);
  if (s.cut_answers) bytes.resize(bytes.size() / 2);
  Send(bytes, true);
}

void Simulator::Send(const std::vector<uint8_t>& bytes, bool binary) {
  if (bytes.empty()) return;
  if (line_time_) {
    // Ten bits a byte (start, eight data bits, stop), rounded up.
    const int baud = Baud();
    const long bits = static_cast<long>(bytes.size()) * 10;
    SleepMilliseconds(static_cast<int>((bits * 1000 + baud - 1) / baud));
  }
  if (!terminal_.WriteAll(bytes.data(), bytes.size(), kWriteTimeoutMs)) {
    log_.Note("the answer could not be written in time");
    return;
  }
  log_.Sent(bytes.data(), bytes.size(), binary);
  std::lock_guard<std::mutex> lock(mutex_);
  ++counters_.answers;
}

// Noise never holds a CR: the service takes an answer only when it ends in
// CR, so noise must look like a broken link, not like an answer.
std::vector<uint8_t> Simulator::Noise(bool binary,
                                      const std::vector<uint8_t>& reply) {
  std::vector<uint8_t> noise;
  if (binary && !reply.empty() && (noise_count_++ % 2) == 0) {
    // A reply chain with a wrong checksum at its end.
    noise = reply;
    noise.back() = static_cast<uint8_t>(noise.back() + 1);
  } else {
    std::uniform_int_distribution<int> length(8, 24);
    std::uniform_int_distribution<int> byte(0, 255);
    noise.resize(static_cast<size_t>(length(noise_)));
    for (uint8_t& b : noise) b = static_cast<uint8_t>(byte(noise_));
    // Nor may it begin like the "NG" a text UPS gives to a binary probe.
    if (noise[0] == 'N') noise[0] = '?';
  }
  for (uint8_t& b : noise) {
    if (b == kCarriageReturn) b = kCarriageReturn + 1;
  }
  return noise;
}

}  // namespace zep
