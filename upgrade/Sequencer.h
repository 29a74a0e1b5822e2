// Constants of the upgrade sequencer and the helpers its steps share.
#pragma once

#include <cstddef>
#include <cstdint>

// The exchange buffer of one tick: the request being sent and the reply being read.
inline constexpr size_t kTickBufferBytes = 256;

// Counted failures that end a run (FailCount at the end of a tick).
inline constexpr int32_t kFailuresThatEndARun = 5;

// Stepwise read limits of each step: first byte / payload and sum (the command and length
// bytes always have 500 ms).
inline constexpr uint32_t kInquiryFirstLimit_ms = 500;
inline constexpr uint32_t kInquiryRestLimit_ms = 500;
inline constexpr uint32_t kEraseFirstLimit_ms = 40000;  // the UPS answers when it has erased
inline constexpr uint32_t kEraseRestLimit_ms = 500;
inline constexpr uint32_t kProgramFirstLimit_ms = 2000;
inline constexpr uint32_t kProgramRestLimit_ms = 2000;
inline constexpr uint32_t kReadBackFirstLimit_ms = 2000;
inline constexpr uint32_t kReadBackRestLimit_ms = 2000;
inline constexpr uint32_t kChecksumFirstLimit_ms = 1000;
inline constexpr uint32_t kChecksumRestLimit_ms = 500;

// The target area of a 2-byte address inquiry reply ends below this address.
inline constexpr uint32_t kNarrowAreaEnd = 0xF000;
// The target area without limit, given for 24-bit addresses.
inline constexpr uint32_t kUnboundedRomSize = 0xFFFF0000u;
// FailCount after an excluded range reply with a bad sum (set, not raised).
inline constexpr int32_t kFailCountAfterBadExcludedRange = 3;
// The read-back is abandoned when more than this many replies in a row are missing.
inline constexpr int32_t kReadBackSilencesTolerated = 2;

// A run may not go on for ever without moving forward: after this many ticks in a row in
// which neither the step, the line, the read-back offset nor the progress bar moved, the run
// ends in red. Outcomes that are not counted (stray bytes, lost headers, unrecognised
// statuses) and a bad excluded range reply would otherwise repeat for as long as the UPS
// answers that way, with the window locked.
inline constexpr int32_t kMaxTicksWithoutProgress = 30;
// A read-back block that compares different this many times in a row ends the run.
inline constexpr int32_t kMaxComparisonRepeats = 5;
