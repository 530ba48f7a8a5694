#include "ups_models.h"

namespace zep {

// How the monitor turns a text model into ratings: after the five letters of
// "T-PWR" it reads the number n (VA = W = n x 100), then looks at the letter c
// after the digits:
//   "J": voltage code = low 4 bits of the next character, rest after it;
//   "A": code 2 when the character two places further is "S", else the low
//        4 bits of that character; rest after it;
//   "R": code = low 4 bits of the character two places further;
//   other letters: code 1, the rest starts at c.
// Rated V = code x 100. When the rest is not empty and the code is 1, V grows
// by 5 x the number at the start of the rest and W becomes VA x 0.8 (VA above
// 1000) or VA x 0.7.
//
//   "T-PWR15J1":  n = 15 -> 1500 VA; c = 'J', next '1' -> code 1, rest ""
//                 -> 100 V, W stays 1500.
//   "T-PWR30A1S": n = 30 -> 3000 VA; c = 'A', two places on 'S' -> code 2,
//                 rest "" -> 200 V, W stays 3000.
//   "T-PWR20L":   n = 20 -> 2000 VA; c = 'L' -> code 1, rest "L" whose
//                 leading number is 0 -> 100 V + 0; 2000 > 1000 so
//                 W = 2000 x 0.8 = 1600.
// Each of these texts is also kept whole by the monitor's model cut (for "J"
// it ends two characters after the letter, for "A" three; with "L" the whole
// text counts), and the 15-character "%M" field is padded with spaces only,
// which the cut removes. The "L" case avoids a factor of 0.7, whose binary
// rounding would make the derived W depend on how the product is computed.
//
// Binary models report their ratings directly:
//   "ZPX-A1500JC": rating byte 0, 16-bit 30 x 50 = 1500 VA; W 27 x 50 = 1350;
//                  rated voltage 100 V; measures the load (measurement 48).
//   "ZPX-B3000JC": rating byte 3 -> 3 x 1000 = 3000 VA; W 54 x 50 = 2700;
//                  100 V; no load measurement, so the load comes from the
//                  output W (22) and VA (24).
const UpsModel kUpsModels[] = {
    {"T-PWR15J1", SimProtocol::kText, 1500, 1500, 100, 1, 2, 0, 0, 0, false, "",
     ""},
    {"T-PWR30A1S", SimProtocol::kText, 3000, 3000, 200, 1, 2, 0, 0, 0, false,
     "", ""},
    {"T-PWR20L", SimProtocol::kText, 2000, 1600, 100, 1, 2, 0, 0, 0, false, "",
     ""},
    {"ZPX-A1500JC", SimProtocol::kBinary, 1500, 1350, 100, 1, 5, 0, 30, 27,
     true, "SN A15-00012345", "1500VA/1350W"},
    {"ZPX-B3000JC", SimProtocol::kBinary, 3000, 2700, 100, 1, 5, 3, 0, 54,
     false, "SN B30-00067890", "3000VA/2700W"},
};
const size_t kUpsModelCount = sizeof kUpsModels / sizeof kUpsModels[0];

const char* ProtocolName(SimProtocol protocol) {
  return protocol == SimProtocol::kText ? "text" : "binary";
}

bool ParseProtocol(const std::string& name, SimProtocol* protocol) {
  if (name == "text") {
    *protocol = SimProtocol::kText;
    return true;
  }
  if (name == "binary") {
    *protocol = SimProtocol::kBinary;
    return true;
  }
  return false;
}

const UpsModel* FindModel(const std::string& name) {
  for (size_t i = 0; i < kUpsModelCount; ++i) {
    if (name == kUpsModels[i].name) return &kUpsModels[i];
  }
  return nullptr;
}

const UpsModel& DefaultModel(SimProtocol protocol) {
  return protocol == SimProtocol::kText ? kUpsModels[0] : kUpsModels[3];
}

}  // namespace zep
