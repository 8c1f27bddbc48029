// Sample-rate conversion through libsoxr.
#include "apps/resampler.h"

#include <soxr.h>

#include <cmath>
#include <vector>

namespace plumbrook::cli {
namespace {

constexpr int64_t kChunkFrames = 4096;

class ResampledSource : public AudioSource {
 public:
  ResampledSource(std::unique_ptr<AudioSource> source, double rate, soxr_t converter)
      : source_(std::move(source)), rate_(rate), converter_(converter),
        input_(static_cast<size_t>(kChunkFrames * source_->channels())) {}
  ~ResampledSource() override { soxr_delete(converter_); }
  ResampledSource(const ResampledSource&) = delete;
  ResampledSource& operator=(const ResampledSource&) = delete;

  int channels() const override { return source_->channels(); }
  double sampleRate() const override { return rate_; }
  int64_t frames() const override {
    return static_cast<int64_t>(std::llround(static_cast<double>(source_->frames()) * rate_ / source_->sampleRate()));
  }

  int64_t read(double* interleaved, int64_t maxFrames) override {
    const auto chans = static_cast<size_t>(channels());
    while (!drained_) {
      if (held_ == 0 && !sourceDone_) {
        held_ = source_->read(input_.data(), kChunkFrames);
        offset_ = 0;
        if (held_ <= 0) {
          held_ = 0;
          sourceDone_ = true;
        }
      }
      size_t used = 0, made = 0;
      // After the source's end, a null input asks the converter for what it still holds.
      const double* in = sourceDone_ ? nullptr : input_.data() + static_cast<size_t>(offset_) * chans;
      if (soxr_process(converter_, in, static_cast<size_t>(held_), &used, interleaved, static_cast<size_t>(maxFrames),
                       &made) != nullptr) {
        drained_ = true;
        return 0;
      }
      offset_ += static_cast<int64_t>(used);
      held_ -= static_cast<int64_t>(used);
      if (made > 0) return static_cast<int64_t>(made);
      if (sourceDone_) drained_ = true;
    }
    return 0;
  }

  bool rewind(std::string& error) override {
    if (!source_->rewind(error)) return false;
    if (soxr_error_t e = soxr_clear(converter_)) {
      error = std::string("sample-rate converter: ") + e;
      return false;
    }
    held_ = offset_ = 0;
    sourceDone_ = drained_ = false;
    return true;
  }

 private:
  std::unique_ptr<AudioSource> source_;
  double rate_;
  soxr_t converter_;
  std::vector<double> input_;
  int64_t held_ = 0, offset_ = 0;  // input frames read but not yet taken by the converter
  bool sourceDone_ = false, drained_ = false;
};

}  // namespace

std::unique_ptr<AudioSource> resampled(std::unique_ptr<AudioSource> source, double rate, std::string& error) {
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
  soxr_error_t e = nullptr;
  soxr_t converter = soxr_create(source->sampleRate(), rate, static_cast<unsigned>(source->channels()), &e, &io,
                                 &quality, nullptr);
  if (!converter || e) {
    if (converter) soxr_delete(converter);
    error = std::string("cannot convert to ") + std::to_string(static_cast<long>(rate)) + " Hz: " + (e ? e : "no converter");
    return nullptr;
  }
  return std::make_unique<ResampledSource>(std::move(source), rate, converter);
}

}  // namespace plumbrook::cli
