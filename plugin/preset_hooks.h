// The six callables through which the editor's preset bar reaches the preset operations.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quillfen::controls {

struct PresetHooks {
  std::function<std::vector<std::string>()> list;     // stored preset names, in order
  std::function<std::string()> current;               // the current preset's name
  std::function<void(const std::string&)> load;       // load by name
  std::function<void(const std::string&)> save;       // save by name (may ask first)
  std::function<void(const std::string&)> remove;     // delete by name
  std::function<bool()> modified;                     // the modified mark
};

}  // namespace quillfen::controls
