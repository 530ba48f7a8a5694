// The request and reply builders behind the rows of the ASCII command table.
#pragma once

#include <cstddef>

namespace zep {

struct UpsState;
struct ReplyAssembly;

// Request builders: command text in, binary request frame out.

/// "&C": cancel, for all groups or for the group schedule.
int BuildCancelCommand(UpsState& state, char* buffer, size_t capacity);
/// "&T": battery test.
int BuildTestCommand(UpsState& state, char* buffer, size_t capacity);
/// "&Z<hex>": operating setting; records pending_mode_setting.
int BuildSettingCommand(UpsState& state, char* buffer, size_t capacity);
/// "S<mm>[R<rrrrr>]" or "S.<ss>[R<rrrrr>]": shutdown, optionally restart.
int BuildShutdownCommand(UpsState& state, char* buffer, size_t capacity);
/// "E<group><letter>...": group schedule.
int BuildGroupCommand(UpsState& state, char* buffer, size_t capacity);

// Reply builders: the answer an ASCII UPS would give, from the state.

int BuildStatusAnswer(UpsState& state, const ReplyAssembly& reply, char* buffer,
                      size_t capacity);  // "&S1"
int BuildExtendedAnswer(UpsState& state, const ReplyAssembly& reply,
                        char* buffer, size_t capacity);  // "QQ"
int BuildMeasurementAnswer(UpsState& state, const ReplyAssembly& reply,
                           char* buffer, size_t capacity);  // "Q1"
int BuildOutputAnswer(UpsState& state, const ReplyAssembly& reply, char* buffer,
                      size_t capacity);  // "&O"
int BuildBatteryAnswer(UpsState& state, const ReplyAssembly& reply,
                       char* buffer, size_t capacity);  // "&R"
int BuildModelAnswer(UpsState& state, const ReplyAssembly& reply, char* buffer,
                     size_t capacity);  // "&M"
int BuildModelVersionAnswer(UpsState& state, const ReplyAssembly& reply,
                            char* buffer, size_t capacity);  // "%M"
/// "OK\r" when the UPS confirmed, else "NG\r".
int BuildConfirmAnswer(UpsState& state, const ReplyAssembly& reply,
                       char* buffer, size_t capacity);
/// As BuildConfirmAnswer; a confirmed test marks the test as running.
int BuildTestAnswer(UpsState& state, const ReplyAssembly& reply, char* buffer,
                    size_t capacity);
/// As BuildConfirmAnswer; a confirmed setting is adopted.
int BuildSettingAnswer(UpsState& state, const ReplyAssembly& reply,
                       char* buffer, size_t capacity);

/// Copies an answer text into the buffer; returns its length, or -1 when
/// it does not fit.
int WriteAnswer(char* buffer, size_t capacity, const char* text);

}  // namespace zep
