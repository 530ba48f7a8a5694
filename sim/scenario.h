// Scenarios: small text files of timed steps that drive the simulated UPS
// through a story, for example
//
//   # a power cut that drains the battery
//   0   normal
//   10  mains-failure
//   40  battery-low
//   60  normal
//
// Each line holds a time in seconds from the start (decimals allowed, never
// earlier than the line before) and one action: a state name, or
// "reject-controls" / "accept-controls" (whether control commands are
// refused), "cut-answers" / "whole-answers" (whether answers are cut to half
// their length), "replug" (the line unplugged and plugged back), or "quit"
// (the program ends). "#" starts a comment; blank lines
// are ignored.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "clock.h"

namespace zep {

struct ScenarioStep {
  int64_t at_ms = 0;   ///< milliseconds from the start
  std::string action;  ///< a state name or one of the switch words
  int line = 0;        ///< where the step was written
};

/// Actions other than state names.
constexpr const char* kRejectControls = "reject-controls";
constexpr const char* kAcceptControls = "accept-controls";
constexpr const char* kCutAnswers = "cut-answers";
constexpr const char* kWholeAnswers = "whole-answers";
constexpr const char* kReplug = "replug";
constexpr const char* kQuit = "quit";

/// True for every word a scenario step may use.
bool IsScenarioAction(const std::string& word);

/// Parses scenario text. On failure returns false with `error` naming the
/// place ("<source>:<line>: <reason>").
bool ParseScenario(const std::string& text, const std::string& source,
                   std::vector<ScenarioStep>* steps, std::string* error);

/// Reads and parses a scenario file.
bool LoadScenario(const std::string& path, std::vector<ScenarioStep>* steps,
                  std::string* error);

/// Plays steps in time: each step is handed to `apply` once its time has
/// come, in file order. Time comes from the given clock, so tests can move
/// it by hand and call RunDue themselves.
class ScenarioPlayer {
 public:
  using Apply = std::function<void(const ScenarioStep&)>;

  ScenarioPlayer(std::vector<ScenarioStep> steps, Clock& clock, Apply apply);
  ~ScenarioPlayer();
  ScenarioPlayer(const ScenarioPlayer&) = delete;
  ScenarioPlayer& operator=(const ScenarioPlayer&) = delete;

  /// Takes the clock's present time as the scenario's start.
  void Begin();
  /// Applies every step due by now that has not run yet; returns how many.
  int RunDue();
  /// True when every step has run.
  bool Finished() const;

  /// Begin, then run the steps from a background thread until they are all
  /// done or Stop is called.
  void Start();
  void Stop();

 private:
  void Loop();

  const std::vector<ScenarioStep> steps_;
  Clock& clock_;
  Apply apply_;
  int64_t start_ms_ = 0;
  size_t next_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace zep
