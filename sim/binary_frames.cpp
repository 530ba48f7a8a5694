#include "binary_frames.h"

#include <algorithm>

namespace zep {

uint8_t FrameChecksum(const uint8_t* bytes, size_t size) {
  unsigned sum = 0;
  for (size_t i = 0; i < size; ++i) sum += bytes[i];
  return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

FrameScan TakeRequestFrame(std::vector<uint8_t>* pending, RequestFrame* frame,
                           size_t* skipped) {
  std::vector<uint8_t>& in = *pending;
  *skipped = 0;
  if (in.empty()) return FrameScan::kNeedMore;
  if (in[0] != kFrameMark) {
    const auto mark = std::find(in.begin(), in.end(), kFrameMark);
    *skipped = static_cast<size_t>(mark - in.begin());
    in.erase(in.begin(), mark);
    return FrameScan::kSkipped;
  }
  if (in.size() < 2) return FrameScan::kNeedMore;
  const size_t n = in[1];
  if (n == 0) {
    in.erase(in.begin());
    *skipped = 1;
    return FrameScan::kSkipped;
  }
  const size_t length = n + 3;
  if (in.size() < length) return FrameScan::kNeedMore;
  unsigned sum = 0;
  for (size_t i = 0; i < length; ++i) sum += in[i];
  if ((sum & 0xFF) != 0) {
    // Not a frame after all: step over the mark and look for the next one.
    in.erase(in.begin());
    *skipped = 1;
    return FrameScan::kSkipped;
  }
  size_t taken = length;
  frame->probe = in.size() > length && in[length] == kCarriageReturn;
  if (frame->probe) ++taken;
  frame->id = in[2];
  frame->data.assign(in.begin() + 3, in.begin() + 2 + n);
  frame->raw.assign(in.begin(), in.begin() + taken);
  in.erase(in.begin(), in.begin() + taken);
  return FrameScan::kFrame;
}

std::vector<uint8_t> BuildReplyChain(uint8_t type,
                                     const std::vector<uint8_t>& payload,
                                     size_t frame_payload) {
  std::vector<uint8_t> chain;
  if (payload.empty()) return chain;
  frame_payload =
      std::min(std::max<size_t>(frame_payload, 1), kMaxFramePayload);
  size_t offset = 0;
  for (uint8_t number = 1; offset < payload.size(); ++number) {
    const size_t size = std::min(frame_payload, payload.size() - offset);
    const bool last = offset + size == payload.size();
    const size_t start = chain.size();
    chain.push_back(kFrameMark);
    chain.push_back(type);
    chain.push_back(static_cast<uint8_t>(size));
    chain.push_back(static_cast<uint8_t>((number & 0x7F) | (last ? 0x80 : 0)));
    chain.insert(chain.end(), payload.begin() + offset,
                 payload.begin() + offset + size);
    chain.push_back(FrameChecksum(chain.data() + start, chain.size() - start));
    offset += size;
  }
  return chain;
}

}  // namespace zep
