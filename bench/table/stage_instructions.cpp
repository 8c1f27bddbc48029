// Instruction-count driver: runs one stage for a fixed number of frames with callgrind collecting
// only around the processing loop, so that instructions / frames is the cost per frame.
// Usage: valgrind --tool=callgrind --collect-atstart=no stage_instructions STAGE CHANNELS BLOCK [FRAMES]
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/stage_runner.h"

int main(int argc, char** argv) {
  using namespace plumbrook::bench;
  if (argc < 4) {
    std::fprintf(stderr, "usage: stage_instructions chain|chain+meters|eq|glue|limiter CHANNELS BLOCK [FRAMES]\n");
    return 2;
  }
  int stage = -1;
  for (int s = 0; s < 5; ++s)
    if (std::strcmp(argv[1], kStageNames[s]) == 0) stage = s;
  const int channels = std::atoi(argv[2]);
  const int block = std::atoi(argv[3]);
  const long frames = argc > 4 ? std::atol(argv[4]) : 48000;
  if (stage < 0 || channels < 1 || channels > 2 || block < 1 || block > 4096 || frames < block) {
    std::fprintf(stderr, "stage_instructions: bad arguments\n");
    return 2;
  }
  StageRunner runner(static_cast<Stage>(stage), channels, block);
  for (int i = 0; i < 48000 / block; ++i) runner.runBlock();  // one second to settle
  const long blocks = frames / block;
  CALLGRIND_ZERO_STATS;
  CALLGRIND_START_INSTRUMENTATION;
  CALLGRIND_TOGGLE_COLLECT;
  for (long i = 0; i < blocks; ++i) runner.runBlock();
  CALLGRIND_TOGGLE_COLLECT;
  CALLGRIND_STOP_INSTRUMENTATION;
  std::printf("frames %ld\n", blocks * block);
  return 0;
}
