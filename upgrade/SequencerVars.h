// The module-level variables of the upgrade sequencer: one instance each, outside the
// window, with their start values as the program is loaded.
#pragma once

#include <cstdint>

extern bool TickStarted;              // the tick handler has taken up the current run
extern int32_t LineIndex;             // the next listing line to send or verify
extern int32_t FailCount;             // failures counted in the current step; five end the run
extern int32_t FirstPacket;           // no program packet has been sent since the erase
extern int32_t LinesPerPacket;        // listing lines carried by the last program packet
extern int32_t SentLine;              // line at which the last program packet started
extern int32_t PacketDataBytes;       // data bytes of the last narrow program packet
extern int32_t TicksWithoutProgress;  // ticks in a row in which the run did not move
extern int32_t BlockMismatches;       // read-back comparisons in a row that differed

// Puts the variables back to their start values (a fresh program, as tests need it).
void ResetSequencerVars();
