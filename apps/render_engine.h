// One render pass: audio from a source through a fresh plug-in instance, latency-compensated,
// into an optional writer and loudness meters.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "apps/audio_file.h"
#include "apps/loudness.h"

namespace plumbrook::cli {

struct RenderPass {
  AudioSource* source = nullptr;
  std::vector<double> parameterValues;  // real units, in parameter order
  int blockSize = 512;
  AudioWriter* writer = nullptr;           // may be null
  LoudnessMeter* inputMeter = nullptr;     // may be null
  LoudnessMeter* outputMeter = nullptr;    // may be null
  std::function<void(int64_t framesDone)> progress;  // may be empty
};

struct RenderOutcome {
  int latencySamples = 0;          // the latency the plug-in reported, removed from the output
  int64_t frames = 0;              // frames read and written
  double limiterReductionDb = 0.0; // the limiter's largest gain reduction, positive dB
  double glueReductionDb[3] = {0.0, 0.0, 0.0};  // the glue's largest reduction per band
};

/// Renders the whole source from its start. The plug-in gets the parameter values, is prepared
/// with them (so no smoothing runs at the start), and its timer runs once so that it reports
/// its latency; the output is then shifted by that latency and the tail flushed, so output
/// frame n lines up with input frame n and both have the same length. False with a message.
bool render(const RenderPass& pass, RenderOutcome& outcome, std::string& error);

}  // namespace plumbrook::cli
