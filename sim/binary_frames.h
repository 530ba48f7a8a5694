// Frames of the binary UPS protocol, as the UPS side sees them.
//
// Request (service to UPS): 0xAB, N = 1 + data count, request ID, data,
// checksum; all N + 3 bytes sum to 0 modulo 256. While the service does not
// know the protocol yet it sends a CR after the checksum.
//
// Reply (UPS to service), a chain of frames: 0xAB, reply type, L = payload
// length (1..127), frame number (bits 0-6, from 1; bit 7 on the last frame),
// payload, checksum; the frame's bytes sum to 0 modulo 256.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zep {

constexpr uint8_t kFrameMark = 0xAB;
constexpr uint8_t kCarriageReturn = 0x0D;
/// The largest payload one reply frame can carry.
constexpr size_t kMaxFramePayload = 127;
/// The payload size the simulator puts in one frame. Smaller than the
/// maximum, so that the identification (136 bytes) and ratings (80 bytes)
/// replies go out as chains of several frames.
constexpr size_t kReplyFramePayload = 64;

/// The byte that makes `bytes` sum to 0 modulo 256.
uint8_t FrameChecksum(const uint8_t* bytes, size_t size);

/// One request frame taken from the line.
struct RequestFrame {
  uint8_t id = 0;
  std::vector<uint8_t> data;
  /// The frame as received, CR included when one followed.
  std::vector<uint8_t> raw;
  /// A CR followed the frame: the service is still probing.
  bool probe = false;
};

enum class FrameScan {
  kNeedMore,  ///< no complete frame yet; nothing was consumed
  kFrame,     ///< a valid frame was taken off the front
  kSkipped,   ///< bytes that cannot start a valid frame were dropped
};

/// Takes the next request frame off the front of `pending`. Bytes before a
/// frame mark, a zero length byte or a bad checksum are dropped (`skipped`
/// says how many) so that the reader finds the next frame.
FrameScan TakeRequestFrame(std::vector<uint8_t>* pending, RequestFrame* frame,
                           size_t* skipped);

/// The reply chain for `payload` (at least 1 byte): frames of at most
/// `frame_payload` bytes (1..127), numbered from 1, the last with bit 7.
std::vector<uint8_t> BuildReplyChain(uint8_t type,
                                     const std::vector<uint8_t>& payload,
                                     size_t frame_payload = kReplyFramePayload);

}  // namespace zep
