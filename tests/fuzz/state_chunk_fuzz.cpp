// Fuzzes restoring saved state: any bytes either restore or are refused, every value stays in
// its range, and whatever was restored saves and restores to the same values.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "plugin/plumbrook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<Plumbrook> plugin = plumbrook::MakePlugin();
  if (size > (1u << 20)) return 0;
  const plugkit::ByteChunk chunk(data, static_cast<int>(size));
  const int end = plugin->UnserializeState(chunk, 0);
  if (end > static_cast<int>(size)) std::abort();
  for (int i = 0; i < plugin->NParams(); ++i) {
    const plugkit::Param& param = *plugin->GetParam(i);
    if (!(param.Value() >= param.GetMin() && param.Value() <= param.GetMax())) std::abort();
  }
  if (plugin->accentIndex() < 0 || plugin->accentIndex() > 5) std::abort();

  const std::vector<double> before = plugin->soundSnapshot();
  plugkit::ByteChunk saved;
  plugin->SerializeState(saved);
  if (plugin->UnserializeState(saved, 0) != saved.Size() - 4) std::abort();
  if (plugin->soundSnapshot() != before) std::abort();
  return 0;
}
