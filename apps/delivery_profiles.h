// Delivery profiles: named sets of loudness target, true-peak ceiling, and rate and bits that a
// delivery asks for.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "apps/render_options.h"

namespace plumbrook::cli {

struct DeliveryProfile {
  const char* name;
  const char* purpose;
  std::optional<double> targetLufs;  // none: the level is left as the settings make it
  double ceilingDb;                  // the limiter's true-peak ceiling
  std::optional<double> rate;        // none: the input's rate is kept
  const char* bits;                  // "" keeps the input's
};

/// Every profile, in the order `plumbrook profiles` lists them.
const std::vector<DeliveryProfile>& deliveryProfiles();

/// Fills what the named profile sets and the command line left open: the target, rate and bits
/// when not given, and the ceiling and true-peak mode ahead of every --set, --preset and --state.
/// False with a message for an unknown name.
bool applyProfile(RenderOptions& options, std::string& error);

}  // namespace plumbrook::cli
