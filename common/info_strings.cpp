#include "info_strings.h"

namespace zep {
namespace {

bool ValidSlot(int slot) { return slot >= 0 && slot < kInfoStringCount; }

}  // namespace

void ClearInfoStrings(InfoStrings* info) {
  if (info == nullptr) return;
  for (InfoItem& item : info->items) {
    item.identifier.store(0, std::memory_order_relaxed);
    for (std::atomic<char>& c : item.text) {
      c.store('\0', std::memory_order_relaxed);
    }
  }
}

int SetInfoString(InfoStrings* info, int slot, const char* text) {
  if (info == nullptr || !ValidSlot(slot)) return -1;
  InfoItem& item = info->items[slot];
  size_t n = 0;
  if (text != nullptr) {
    for (; n + 1 < kInfoTextSize && text[n] != '\0'; ++n) {
      item.text[n].store(text[n], std::memory_order_relaxed);
    }
  }
  // The last character of the field is never written with anything but the
  // terminator, so even a torn read ends inside the field.
  item.text[n].store('\0', std::memory_order_relaxed);
  item.identifier.store(slot, std::memory_order_relaxed);
  return slot;
}

size_t CopyInfoText(const InfoStrings& info, int slot, char* out, size_t size) {
  if (out == nullptr || size == 0) return 0;
  size_t n = 0;
  if (ValidSlot(slot)) {
    const InfoItem& item = info.items[slot];
    for (; n + 1 < size && n < kInfoTextSize; ++n) {
      char c = item.text[n].load(std::memory_order_relaxed);
      if (c == '\0') break;
      out[n] = c;
    }
  }
  out[n] = '\0';
  return n;
}

bool GetInfoString(const InfoStrings& info, int slot, char* out, size_t size) {
  if (!ValidSlot(slot)) return false;
  if (info.items[slot].identifier.load(std::memory_order_relaxed) != slot) {
    return false;
  }
  CopyInfoText(info, slot, out, size);
  return true;
}

}  // namespace zep
