// The UPS models the simulator can play, one table row each. A row holds what
// the UPS itself reports (model text, rating fields, identification texts)
// and, for reference, the ratings the monitor works out from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zep {

/// The two languages a UPS of the family speaks on its serial line.
enum class SimProtocol { kText, kBinary };

/// "text" or "binary".
const char* ProtocolName(SimProtocol protocol);
/// Reads "text" or "binary"; false for anything else.
bool ParseProtocol(const std::string& name, SimProtocol* protocol);

struct UpsModel {
  /// The model text the UPS reports ("&M", "%M" or the identification
  /// reply). Text models carry the family marker "T-PWR", binary models the
  /// three-letter marker "ZPX".
  const char* name;
  SimProtocol protocol;
  /// The ratings the monitor derives (documented, also used to scale the
  /// simulated load into VA and W).
  int rated_va;
  int rated_w;
  int rated_v;
  /// Firmware version: text UPS "%M" shows "major.minor" (3 characters);
  /// "&M" and the binary version pair show two two-digit numbers.
  int version_major;
  int version_minor;
  /// Binary identification: a nonzero rating byte means byte x 1000 VA;
  /// with 0 the VA rating is carried as a 16-bit count of 50 VA.
  uint8_t rating_byte;
  uint16_t rating_va_50;
  /// Binary limits reply: the W rating as a 16-bit count of 50 W.
  uint16_t rated_watts_50;
  /// Binary models only: whether the UPS measures the load in percent
  /// (measurement 48); without it the monitor computes the load from the
  /// output W and VA (measurements 22 and 24).
  bool reports_load_percent;
  /// Binary ratings reply: two 16-character identification texts.
  const char* id_text_a;
  const char* id_text_b;
};

/// Every model the simulator knows, text models first.
extern const UpsModel kUpsModels[];
extern const size_t kUpsModelCount;

/// The model with this exact name, or null.
const UpsModel* FindModel(const std::string& name);

/// The model a protocol starts with: "T-PWR15J1" (text) or "ZPX-A1500JC"
/// (binary).
const UpsModel& DefaultModel(SimProtocol protocol);

}  // namespace zep
