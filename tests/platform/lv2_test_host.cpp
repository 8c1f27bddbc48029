// A small LV2 host on liblilv for the tests.
#include "tests/platform/lv2_test_host.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>

#include "tests/support/signals.h"

namespace plumbrook::test {

std::string lv2Bundle() { return PLUMBROOK_LV2_BUNDLE "/"; }

std::string lv2BundleParent() {
  std::string bundle = lv2Bundle();
  bundle.pop_back();
  return bundle.substr(0, bundle.find_last_of('/'));
}

Lv2World::Lv2World(const std::string& bundlePath) : world_(lilv_world_new()) {
  map_.handle = this;
  map_.map = &Lv2World::mapThunk;
  LilvNode* bundle = lilv_new_file_uri(world_, nullptr, bundlePath.c_str());
  lilv_world_load_bundle(world_, bundle);
  lilv_node_free(bundle);
}

Lv2World::~Lv2World() { lilv_world_free(world_); }

const LilvPlugin* Lv2World::plugin(const std::string& uri) const {
  LilvNode* node = lilv_new_uri(world_, uri.c_str());
  const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node);
  lilv_node_free(node);
  return found;
}

LV2_URID Lv2World::map(const char* uri) {
  std::lock_guard lock(mapMutex_);
  for (size_t i = 0; i < uris_.size(); ++i)
    if (uris_[i] == uri) return static_cast<LV2_URID>(i + 1);
  uris_.emplace_back(uri);
  return static_cast<LV2_URID>(uris_.size());
}

LV2_URID Lv2World::mapThunk(LV2_URID_Map_Handle handle, const char* uri) {
  return static_cast<Lv2World*>(handle)->map(uri);
}

std::unique_ptr<Lv2Instance> Lv2Instance::create(Lv2World& world, const std::string& uri,
                                                 double sampleRate, int maxFrames, bool withMap) {
  const LilvPlugin* plugin = world.plugin(uri);
  if (!plugin) return nullptr;
  LilvWorld* w = world.world();
  std::unique_ptr<Lv2Instance> self(new Lv2Instance());

  LilvNode* audioClass = lilv_new_uri(w, LV2_CORE__AudioPort);
  LilvNode* inputClass = lilv_new_uri(w, LV2_CORE__InputPort);
  const uint32_t nPorts = lilv_plugin_get_num_ports(plugin);
  std::vector<float> defaults(nPorts, std::numeric_limits<float>::quiet_NaN());
  lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
  self->buffers_.resize(nPorts);
  self->symbols_.resize(nPorts);
  for (uint32_t p = 0; p < nPorts; ++p) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
    self->symbols_[p] = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
    if (lilv_port_is_a(plugin, port, audioClass)) {
      self->buffers_[p].assign(static_cast<size_t>(maxFrames), 0.0f);
      (lilv_port_is_a(plugin, port, inputClass) ? self->audioIn_ : self->audioOut_).push_back(p);
    } else {
      self->buffers_[p].assign(1, std::isnan(defaults[p]) ? 0.0f : defaults[p]);
    }
  }
  lilv_node_free(audioClass);
  lilv_node_free(inputClass);

  const LV2_Feature mapFeature = {LV2_URID__map, world.mapFeature()};
  const LV2_Feature* withMapList[] = {&mapFeature, nullptr};
  const LV2_Feature* noFeatures[] = {nullptr};
  self->instance_ = lilv_plugin_instantiate(plugin, sampleRate, withMap ? withMapList : noFeatures);
  if (!self->instance_) return nullptr;
  for (uint32_t p = 0; p < nPorts; ++p)
    lilv_instance_connect_port(self->instance_, p, self->buffers_[p].data());
  self->state_ = static_cast<const LV2_State_Interface*>(
      lilv_instance_get_extension_data(self->instance_, LV2_STATE__interface));
  return self;
}

Lv2Instance::~Lv2Instance() {
  if (instance_) lilv_instance_free(instance_);
}

void Lv2Instance::connectInPlace() {
  for (size_t c = 0; c < audioOut_.size() && c < audioIn_.size(); ++c)
    lilv_instance_connect_port(instance_, audioOut_[c], buffers_[audioIn_[c]].data());
  inPlace_ = true;
}

bool Lv2Instance::setControl(const std::string& symbol, float value) {
  for (size_t p = 0; p < symbols_.size(); ++p) {
    if (symbols_[p] == symbol && buffers_[p].size() == 1) {
      buffers_[p][0] = value;
      return true;
    }
  }
  return false;
}

float Lv2Instance::control(const std::string& symbol) const {
  for (size_t p = 0; p < symbols_.size(); ++p)
    if (symbols_[p] == symbol && buffers_[p].size() == 1) return buffers_[p][0];
  return std::numeric_limits<float>::quiet_NaN();
}

namespace {

LV2_State_Status storeProperty(LV2_State_Handle handle, uint32_t key, const void* value,
                               size_t size, uint32_t type, uint32_t flags) {
  auto* properties = static_cast<std::vector<StateProperty>*>(handle);
  StateProperty property{key, type, flags, {}};
  property.value.assign(static_cast<const uint8_t*>(value), static_cast<const uint8_t*>(value) + size);
  properties->push_back(std::move(property));
  return LV2_STATE_SUCCESS;
}

const void* retrieveProperty(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                             uint32_t* flags) {
  const auto* properties = static_cast<const std::vector<StateProperty>*>(handle);
  for (const StateProperty& property : *properties) {
    if (property.key != key) continue;
    *size = property.value.size();
    *type = property.type;
    *flags = property.flags;
    return property.value.data();
  }
  return nullptr;
}

}  // namespace

LV2_State_Status Lv2Instance::save(std::vector<StateProperty>& properties) {
  if (!state_) return LV2_STATE_ERR_UNKNOWN;
  const LV2_Feature* features[] = {nullptr};
  return state_->save(lilv_instance_get_handle(instance_), storeProperty, &properties,
                      LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features);
}

LV2_State_Status Lv2Instance::restore(const std::vector<StateProperty>& properties) {
  if (!state_) return LV2_STATE_ERR_UNKNOWN;
  const LV2_Feature* features[] = {nullptr};
  return state_->restore(lilv_instance_get_handle(instance_), retrieveProperty,
                         const_cast<std::vector<StateProperty>*>(&properties),
                         LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features);
}

std::vector<float> musicLike(uint32_t seed, int channel, int frames, double sampleRate) {
  const std::vector<double> noise = pinkNoise(seed + 7919u * static_cast<uint32_t>(channel), frames, 0.25);
  const double partials[] = {55.0, 110.0, 220.5, 331.0, 880.0, 2637.0};
  std::vector<float> out(static_cast<size_t>(frames));
  const double twoPi = 2.0 * std::numbers::pi;
  for (int i = 0; i < frames; ++i) {
    const double t = i / sampleRate;
    const double beat = std::fmod(t * 2.0, 1.0);  // 120 beats per minute
    const double envelope = 0.35 + 0.65 * std::exp(-6.0 * beat);
    double tone = 0.0;
    for (size_t k = 0; k < std::size(partials); ++k) {
      const double vibrato = 1.0 + 0.004 * std::sin(twoPi * 5.0 * t + static_cast<double>(k));
      tone += std::sin(twoPi * partials[k] * vibrato * t + 0.3 * channel + static_cast<double>(k)) /
              static_cast<double>(k + 2);
    }
    out[static_cast<size_t>(i)] = static_cast<float>(0.55 * envelope * tone + noise[static_cast<size_t>(i)]);
  }
  return out;
}

}  // namespace plumbrook::test
