// The UPS information items: 30 short texts (model, version, battery figure,
// ratings, last temperature...) that the service's monitor and meter
// threads fill as they learn values, and that the event and external
// command threads read without a lock.
//
// Every character is a relaxed atomic, so a reader racing a writer sees,
// at worst, a mix of old and new characters; that is accepted for texts of
// this kind. Readers therefore copy the text out rather than hold a pointer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zep {

constexpr int kInfoStringCount = 30;

/// Size of an item's text field: 127 characters and a terminator.
constexpr size_t kInfoTextSize = 128;

/// One item. `identifier` equals the slot once the item has been set; an
/// item never set keeps 0, so slot 0 always reads as set (empty at first).
struct InfoItem {
  std::atomic<int32_t> identifier{0};
  std::atomic<char> text[kInfoTextSize] = {};
};

/// The table of information items, all empty at construction.
struct InfoStrings {
  InfoItem items[kInfoStringCount];
};

/// Empties every item (identifiers and texts back to zero).
void ClearInfoStrings(InfoStrings* info);

/// Sets the item in `slot` (0 to 29) to `text`, cut to 127 characters; a
/// null text gives an empty text. Returns the slot, or -1 for a slot out of
/// range or a null table.
int SetInfoString(InfoStrings* info, int slot, const char* text);

/// Copies the item's text into `out` (at most size-1 characters, always
/// terminated when size > 0). Returns false, copying nothing, for a slot
/// out of range or an item never set; `out` may be null to ask only that.
bool GetInfoString(const InfoStrings& info, int slot, char* out, size_t size);

/// Copies the text of the item in `slot` whether or not it was set (for
/// lookups by identifier). Returns the length copied; 0 for a bad slot.
size_t CopyInfoText(const InfoStrings& info, int slot, char* out, size_t size);

}  // namespace zep
