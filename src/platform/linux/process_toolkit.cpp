#include "platform/linux/process_toolkit.h"

#include <fstream>
#include <string>

namespace wrenfold {

bool loadsQt5Gui(std::int32_t processID) {
  std::ifstream maps("/proc/" + std::to_string(processID) + "/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find("/libQt5Gui.so") != std::string::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace wrenfold
