// In-process host: drives a Plumbrook instance through the adapter operations, in the order a
// plug-in host performs them, and records what the plug-in tells its host.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plugin/plumbrook.h"

namespace plumbrook::offline {

/// A saved plug-in state as a host keeps it: identification plus the state chunk.
struct SavedState {
  int32_t version = 0;
  int32_t type = 0;          // four-character code of an effect
  int32_t subtype = 0;       // the plug-in's unique code
  int32_t manufacturer = 0;  // the maker's code
  std::string name;
  std::optional<std::vector<uint8_t>> data;
};

/// Four-character code of an audio effect, as kept in saved states.
inline constexpr int32_t kEffectType = plugkit::FourCharCode("aufx");

class OfflineHost : public plugkit::Host {
 public:
  struct Options {
    double sampleRate = 48000.0;
    int inputs = 2;
    int outputs = 2;
    int blockSize = 512;
    bool renderingOffline = true;
  };

  /// What the plug-in told the host.
  struct Event {
    enum Kind { kBeginGesture, kEndGesture, kParamChange, kLatency } kind;
    int index;     // parameter index, or -1 for latency
    double value;  // normalised value, or latency in samples
  };

  /// Constructs the plug-in, checks the layout, initialises it, sets the rate (which resets)
  /// and the block size. Returns null with a message when the layout is refused.
  static std::unique_ptr<OfflineHost> create(const Options& options, std::string& error);

  ~OfflineHost() override;

  Plumbrook& plugin() { return *plugin_; }
  const Options& options() const { return options_; }

  /// Changes the sample rate (the plug-in resets).
  void setSampleRate(double sampleRate);
  /// Switches the host's own bypass (the plug-in resets).
  void setHostBypass(bool bypassed);
  /// Runs exactly one block through the adapter, then the timer for each 20 ms of audio
  /// processed since it last ran.
  void processBlock(double** inputs, double** outputs, int nFrames);
  /// Runs any number of frames in blocks of the configured size (the last may be shorter).
  void process(const std::vector<const double*>& inputs, const std::vector<double*>& outputs,
               int64_t nFrames);
  /// Runs the 20 ms timer once.
  void runTimer() { plugin_->OnTimer(); }

  /// Host automation: constrained value, queued for the editor.
  void setParameter(int paramIdx, double value, int sampleOffset = 0);
  float getParameter(int paramIdx) const { return plugin_->GetParameterForHost(paramIdx); }

  SavedState saveState() const;
  /// Refuses (false, plug-in untouched) a state of another product or without data; refuses
  /// (false) a damaged chunk after the plug-in applied what it could read.
  bool restoreState(const SavedState& state);

  const std::vector<Event>& events() const { return events_; }
  void clearEvents() { events_.clear(); }
  /// The latency the plug-in last reported to the host (0 until it reports one).
  int reportedLatency() const { return reportedLatency_; }

  // plugkit::Host
  void BeginParamGesture(int paramIdx) override;
  void EndParamGesture(int paramIdx) override;
  void NotifyHostOfParamChange(int paramIdx, double normalised) override;
  void LatencyChanged(int samples) override;

 private:
  OfflineHost(std::unique_ptr<Plumbrook> plugin, const Options& options);

  std::unique_ptr<Plumbrook> plugin_;
  Options options_;
  int64_t framesSinceTimer_ = 0;
  int reportedLatency_ = 0;
  std::vector<Event> events_;
  std::vector<double*> blockIn_, blockOut_;
};

}  // namespace plumbrook::offline
