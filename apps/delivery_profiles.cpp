// Delivery profiles and `plumbrook profiles`.
#include "apps/delivery_profiles.h"

#include <cstdio>

#include "apps/command_line.h"
#include "apps/commands.h"

namespace plumbrook::cli {

const std::vector<DeliveryProfile>& deliveryProfiles() {
  static const std::vector<DeliveryProfile> table = {
      {"streaming", "music streaming services", -14.0, -1.0, std::nullopt, ""},
      {"apple", "stores and services that play at -16 LUFS", -16.0, -1.0, std::nullopt, ""},
      {"broadcast", "television and radio (EBU R 128)", -23.0, -1.0, std::nullopt, ""},
      {"cd", "a CD master: 44.1 kHz, 16-bit, TPDF dither; level as set", std::nullopt, -0.3, 44100.0, "16"},
  };
  return table;
}

bool applyProfile(RenderOptions& options, std::string& error) {
  if (!options.release.profile) return true;
  const std::string& name = *options.release.profile;
  for (const DeliveryProfile& profile : deliveryProfiles()) {
    if (name != profile.name) continue;
    if (!options.targetLufs) options.targetLufs = profile.targetLufs;
    if (!options.release.rate) options.release.rate = profile.rate;
    if (options.format.bits.empty()) options.format.bits = profile.bits;
    char ceiling[32];
    std::snprintf(ceiling, sizeof ceiling, "ceiling=%.1f", profile.ceilingDb);
    // First, so that any setting given explicitly overrides the profile's.
    options.settingArgs.insert(options.settingArgs.begin(), {{"--set", "true_peak=on"}, {"--set", ceiling}});
    return true;
  }
  std::string known;
  for (const DeliveryProfile& profile : deliveryProfiles()) known += (known.empty() ? "" : ", ") + std::string(profile.name);
  error = "--profile " + inQuotes(name) + ": unknown profile (known: " + known + "; see 'plumbrook profiles')";
  return false;
}

int runProfiles(const Args& args) {
  if (!args.empty() && args[0] != "-h" && args[0] != "--help") {
    std::fprintf(stderr, "plumbrook profiles: unexpected argument %s\n", inQuotes(args[0]).c_str());
    return 2;
  }
  std::printf("%-10s %-10s %-10s %-18s %s\n", "profile", "loudness", "true peak", "rate and bits", "for");
  for (const DeliveryProfile& p : deliveryProfiles()) {
    char loudness[24] = "none", peak[24], format[32] = "kept";
    if (p.targetLufs) std::snprintf(loudness, sizeof loudness, "%.0f LUFS", *p.targetLufs);
    std::snprintf(peak, sizeof peak, "%.1f dBTP", p.ceilingDb);
    if (p.rate) std::snprintf(format, sizeof format, "%.1f kHz, %s-bit", *p.rate / 1000.0, p.bits);
    std::printf("%-10s %-10s %-10s %-18s %s\n", p.name, loudness, peak, format, p.purpose);
  }
  std::printf("Options given on the command line override the profile's.\n");
  return 0;
}

}  // namespace plumbrook::cli
