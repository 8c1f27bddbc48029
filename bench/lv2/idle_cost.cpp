// Idle cost of plug-in instances: threads, wake-ups and CPU of a process holding N instances
// that are activated but not processing, as a host with many idle tracks holds them.
#include <dirent.h>
#include <lilv/lilv.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Threads {
  int count = 0;
  long switches = 0;  // voluntary and involuntary context switches of every thread
};

Threads readThreads() {
  Threads result;
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return result;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    ++result.count;
    std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
        result.switches += std::atol(line.c_str() + line.find(':') + 1);
    }
  }
  closedir(dir);
  return result;
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: plumbrook_idle_cost PLUGIN_URI INSTANCES [SECONDS]\n"
                 "Holds the instances activated and idle, then prints threads, context switches per\n"
                 "second and CPU percent of the whole process. LV2_PATH selects plug-ins.\n");
    return 2;
  }
  const int instances = std::atoi(argv[2]);
  const double seconds = argc > 3 ? std::atof(argv[3]) : 5.0;
  if (instances < 1 || seconds <= 0.0) return 2;

  LilvWorld* world = lilv_world_new();
  lilv_world_load_all(world);
  LilvNode* uri = lilv_new_uri(world, argv[1]);
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
  if (!plugin) {
    std::fprintf(stderr, "plumbrook_idle_cost: no plug-in %s in LV2_PATH\n", argv[1]);
    return 1;
  }
  std::vector<LilvInstance*> held;
  for (int i = 0; i < instances; ++i) {
    LilvInstance* instance = lilv_plugin_instantiate(plugin, 48000.0, nullptr);
    if (!instance) return 1;
    lilv_instance_activate(instance);
    held.push_back(instance);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // let every thread start

  const Threads before = readThreads();
  const double cpuBefore = cpuSeconds();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const Threads after = readThreads();
  const double cpu = cpuSeconds() - cpuBefore;

  std::printf("instances %d threads %d switches_per_second %.0f cpu_percent %.2f\n", instances, after.count,
              static_cast<double>(after.switches - before.switches) / seconds, 100.0 * cpu / seconds);
  for (LilvInstance* instance : held) {
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
  }
  lilv_node_free(uri);
  lilv_world_free(world);
  return 0;
}
