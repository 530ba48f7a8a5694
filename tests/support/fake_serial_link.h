// A serial link for tests: every Send takes the next scripted reply into the
// receive queue, and every call is logged, so a test can check what went to
// the UPS and in which order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "protocol/serial_link.h"

namespace zep {

class FakeSerialLink : public SerialLink {
 public:
  using Bytes = std::vector<uint8_t>;

  /// The reply to the next send that has none scripted yet (empty: the UPS
  /// stays silent).
  void ScriptReply(const Bytes& reply) { script_.push_back(reply); }
  void ScriptReply(const std::string& reply) {
    script_.push_back(Bytes(reply.begin(), reply.end()));
  }

  void FlushTx() override { log_.push_back("FlushTx"); }
  void FlushRx() override {
    log_.push_back("FlushRx");
    received_.clear();
  }
  int Send(const uint8_t* bytes, int length) override {
    log_.push_back("Send");
    if (fail_sends_) return 0;
    sent_.push_back(Bytes(bytes, bytes + length));
    if (!script_.empty()) {
      const Bytes& reply = script_.front();
      received_.insert(received_.end(), reply.begin(), reply.end());
      script_.pop_front();
    }
    return 1;
  }
  int RecvChars(int interval_ms, int first_polls, int after_polls,
                int most) override {
    log_.push_back("RecvChars " + std::to_string(interval_ms) + "," +
                   std::to_string(first_polls) + "," +
                   std::to_string(after_polls) + "," + std::to_string(most));
    if (unreadable_) return -1;
    int waiting = static_cast<int>(received_.size());
    return waiting > most ? most : waiting;
  }
  int RecvString(uint8_t* buffer, int count) override {
    log_.push_back("RecvString " + std::to_string(count));
    int n = std::min<int>(count, static_cast<int>(received_.size()));
    std::copy(received_.begin(), received_.begin() + n, buffer);
    received_.erase(received_.begin(), received_.begin() + n);
    return n;
  }

  void set_fail_sends(bool fail) { fail_sends_ = fail; }
  void set_unreadable(bool unreadable) { unreadable_ = unreadable; }
  const std::vector<Bytes>& sent() const { return sent_; }
  const std::vector<std::string>& log() const { return log_; }
  void ClearLog() {
    log_.clear();
    sent_.clear();
  }

 private:
  std::deque<Bytes> script_;
  std::deque<uint8_t> received_;
  std::vector<Bytes> sent_;
  std::vector<std::string> log_;
  bool fail_sends_ = false;
  bool unreadable_ = false;
};

}  // namespace zep
