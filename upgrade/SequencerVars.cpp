#include "upgrade/SequencerVars.h"

bool TickStarted = false;
int32_t LineIndex = 0;
int32_t FailCount = 0;
int32_t FirstPacket = 1;
int32_t LinesPerPacket = 0;
int32_t SentLine = 0;
int32_t PacketDataBytes = 0;
int32_t TicksWithoutProgress = 0;
int32_t BlockMismatches = 0;

void ResetSequencerVars() {
  TickStarted = false;
  LineIndex = 0;
  FailCount = 0;
  FirstPacket = 1;
  LinesPerPacket = 0;
  SentLine = 0;
  PacketDataBytes = 0;
  TicksWithoutProgress = 0;
  BlockMismatches = 0;
}
