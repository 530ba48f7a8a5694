#include "scenario.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim_state.h"
#include "text_format.h"

namespace zep {
namespace {

// Ten days: longer than anyone waits for a step, short enough for int64.
constexpr double kMaxSeconds = 864000.0;

bool ParseSeconds(const std::string& word, int64_t* ms) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double seconds = std::strtod(word.c_str(), &end);
  if (errno != 0 || end == word.c_str() || *end != '\0') return false;
  if (!(seconds >= 0 && seconds <= kMaxSeconds)) return false;
  *ms = std::llround(seconds * 1000);
  return true;
}

}  // namespace

bool IsScenarioAction(const std::string& word) {
  SimState state;
  return ParseState(word, &state) || word == kRejectControls ||
         word == kAcceptControls || word == kCutAnswers ||
         word == kWholeAnswers || word == kReplug || word == kQuit;
}

bool ParseScenario(const std::string& text, const std::string& source,
                   std::vector<ScenarioStep>* steps, std::string* error) {
  std::vector<ScenarioStep> parsed;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    const size_t comment = line.find('#');
    if (comment != std::string::npos) line.erase(comment);
    std::istringstream words(line);
    std::string time_word, action, extra;
    if (!(words >> time_word)) continue;
    auto fail = [&](const std::string& reason) {
      *error = FormatText("%s:%d: %s", source.c_str(), number, reason.c_str());
      return false;
    };
    ScenarioStep step;
    step.line = number;
    if (!ParseSeconds(time_word, &step.at_ms)) {
      return fail(FormatText("expected a time in seconds, got \"%s\"",
                             time_word.c_str()));
    }
    if (!(words >> action))
      return fail("a step needs an action after its time");
    if (!IsScenarioAction(action)) {
      return fail(FormatText("unknown action \"%s\"", action.c_str()));
    }
    if (words >> extra) {
      return fail(
          FormatText("unexpected \"%s\" after the action", extra.c_str()));
    }
    if (!parsed.empty() && step.at_ms < parsed.back().at_ms) {
      return fail(FormatText("time %s is earlier than the step before it",
                             time_word.c_str()));
    }
    step.action = action;
    parsed.push_back(step);
  }
  *steps = std::move(parsed);
  return true;
}

bool LoadScenario(const std::string& path, std::vector<ScenarioStep>* steps,
                  std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = FormatText("%s: cannot be read: %s", path.c_str(),
                        std::strerror(errno));
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  std::string content = text.str();
  // Files written on Windows end their lines in CR LF.
  for (char& c : content) {
    if (c == '\r') c = ' ';
  }
  return ParseScenario(content, path, steps, error);
}

ScenarioPlayer::ScenarioPlayer(std::vector<ScenarioStep> steps, Clock& clock,
                               Apply apply)
    : steps_(std::move(steps)), clock_(clock), apply_(std::move(apply)) {}

ScenarioPlayer::~ScenarioPlayer() { Stop(); }

void ScenarioPlayer::Begin() {
  std::lock_guard<std::mutex> lock(mutex_);
  start_ms_ = clock_.NowMilliseconds();
  next_ = 0;
}

int ScenarioPlayer::RunDue() {
  int applied = 0;
  for (;;) {
    ScenarioStep step;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (next_ >= steps_.size()) break;
      if (clock_.NowMilliseconds() - start_ms_ < steps_[next_].at_ms) break;
      step = steps_[next_++];
    }
    // Outside the lock: the action may take its time or touch the player.
    apply_(step);
    ++applied;
  }
  return applied;
}

bool ScenarioPlayer::Finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return next_ >= steps_.size();
}

void ScenarioPlayer::Start() {
  Stop();
  Begin();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
  }
  thread_ = std::thread(&ScenarioPlayer::Loop, this);
}

void ScenarioPlayer::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ScenarioPlayer::Loop() {
  for (;;) {
    RunDue();
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_ || next_ >= steps_.size()) return;
    wake_.wait_for(lock, std::chrono::milliseconds(20),
                   [this] { return stopping_; });
    if (stopping_) return;
  }
}

}  // namespace zep
