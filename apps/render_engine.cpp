// One render pass through a fresh plug-in instance.
#include "apps/render_engine.h"

#include <algorithm>
#include <cmath>

#include "apps/console_surface.h"
#include "platform/offline/offline_host.h"

namespace plumbrook::cli {
bool render(const RenderPass& pass, RenderOutcome& outcome, std::string& error) {
  AudioSource& source = *pass.source;
  if (!source.rewind(error)) return false;
  const int channels = source.channels();
  const double rate = source.sampleRate();
  const int block = pass.blockSize;

  offline::OfflineHost::Options options;
  options.sampleRate = rate;
  options.inputs = channels;
  options.outputs = channels;
  options.blockSize = block;
  options.renderingOffline = true;
  auto host = offline::OfflineHost::create(options, error);
  if (!host) return false;
  Plumbrook& plugin = host->plugin();
  // The plug-in publishes its meters only while an editor is open.
  ConsoleSurface surface;
  plugin.AttachUI(&surface);

  for (int i = 0; i < plugin.NParams() && i < static_cast<int>(pass.parameterValues.size()); ++i)
    host->setParameter(i, pass.parameterValues[static_cast<size_t>(i)]);
  // The render starts settled at these values instead of gliding from the defaults.
  plugin.prepareAtCurrentSettings();
  host->runTimer();
  const int latency = std::max(0, host->reportedLatency());
  outcome = {};
  outcome.latencySamples = latency;

  std::vector<double> interleavedIn(static_cast<size_t>(block * channels));
  std::vector<double> interleavedOut(static_cast<size_t>(block * channels));
  std::vector<std::vector<double>> planarIn(static_cast<size_t>(channels), std::vector<double>(static_cast<size_t>(block)));
  std::vector<std::vector<double>> planarOut(static_cast<size_t>(channels), std::vector<double>(static_cast<size_t>(block)));
  std::vector<double*> inPointers, outPointers;
  for (int c = 0; c < channels; ++c) {
    inPointers.push_back(planarIn[static_cast<size_t>(c)].data());
    outPointers.push_back(planarOut[static_cast<size_t>(c)].data());
  }

  int64_t toSkip = latency;    // output frames that precede the first input frame
  int64_t flushLeft = latency; // silent frames that push the last input frames out
  bool sourceDone = false;
  int64_t written = 0;
  float largestReduction = 0.0f;
  float glueReduction[3] = {0.0f, 0.0f, 0.0f};
  const auto timerFrames = std::max<int64_t>(1, std::llround(0.02 * rate));
  int64_t sinceTimer = 0;
  while (true) {
    int64_t n = 0;
    if (!sourceDone) {
      n = source.read(interleavedIn.data(), block);
      if (n <= 0) {
        sourceDone = true;
        n = 0;
      } else if (pass.inputMeter) {
        pass.inputMeter->add(interleavedIn.data(), n);
      }
    }
    if (sourceDone) {
      n = std::min<int64_t>(block, flushLeft);
      if (n == 0) break;
      flushLeft -= n;
      std::fill(interleavedIn.begin(), interleavedIn.begin() + n * channels, 0.0);
    }
    for (int c = 0; c < channels; ++c) {
      double* dst = inPointers[static_cast<size_t>(c)];
      for (int64_t i = 0; i < n; ++i) dst[i] = interleavedIn[static_cast<size_t>(i * channels + c)];
    }
    // The block and the 20 ms timer are run here rather than by the host, so that the limiter's
    // reading is taken before an idle tick could hand it to the (absent) meters.
    plugin.RenderBlock(inPointers.data(), outPointers.data(), static_cast<int>(n));
    MeterReadings& meters = plugin.meterReadings();
    largestReduction = std::max(largestReduction, meters.limiterReduction.exchange(0.0f));
    for (int b = 0; b < 3; ++b) glueReduction[b] = std::max(glueReduction[b], meters.glueReduction[b].exchange(0.0f));
    for (sinceTimer += n; sinceTimer >= timerFrames; sinceTimer -= timerFrames) host->runTimer();

    const int64_t skip = std::min(toSkip, n);
    toSkip -= skip;
    const int64_t keep = n - skip;
    if (keep > 0) {
      for (int c = 0; c < channels; ++c) {
        const double* src = outPointers[static_cast<size_t>(c)] + skip;
        for (int64_t i = 0; i < keep; ++i) interleavedOut[static_cast<size_t>(i * channels + c)] = src[i];
      }
      if (pass.outputMeter) pass.outputMeter->add(interleavedOut.data(), keep);
      if (pass.writer && !pass.writer->write(interleavedOut.data(), keep, error)) return false;
      written += keep;
      if (pass.progress) pass.progress(written);
    }
  }
  plugin.DetachUI();
  outcome.frames = written;
  outcome.limiterReductionDb = largestReduction > 0.0f ? static_cast<double>(largestReduction) : 0.0;
  for (int b = 0; b < 3; ++b) outcome.glueReductionDb[b] = std::max(0.0, static_cast<double>(glueReduction[b]));
  return true;
}

}  // namespace plumbrook::cli
