#include <fstream>
#include <sstream>
#include <string>

#include "platform/SystemTimes.h"

namespace orvex {
namespace {

bool ReadCpuLine(SystemTimes& times) {
  std::ifstream stat("/proc/stat");
  std::string label;
  uint64_t user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
  if (!(stat >> label >> user >> nice >> system >> idle >> iowait >> irq >> softirq) || label != "cpu") return false;
  stat >> steal;  // absent on old kernels
  times.idle = idle + iowait;
  times.kernel = system + irq + softirq + steal + times.idle;
  times.user = user + nice;
  return true;
}

bool ReadProcessTimes(SystemTimes& times) {
  std::ifstream stat("/proc/self/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  // The command name may hold blanks and parentheses: fields count from the last ")".
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream fields(line.substr(close + 2));
  std::string skip;
  for (int field = 3; field < 14; ++field) fields >> skip;  // state .. cmajflt
  return static_cast<bool>(fields >> times.processUser >> times.processKernel);
}

int ReadMemoryLoad() {
  std::ifstream info("/proc/meminfo");
  std::string line, name;
  uint64_t value = 0, total = 0, available = 0;
  while (std::getline(info, line)) {  // some lines have no unit
    std::istringstream fields(line);
    if (!(fields >> name >> value)) continue;
    if (name == "MemTotal:") total = value;
    else if (name == "MemAvailable:") available = value;
  }
  if (total == 0 || available > total) return 0;
  return static_cast<int>((total - available) * 100 / total);
}

}  // namespace

SystemTimes ProcSystemTimes::Read() {
  SystemTimes times;
  times.memoryLoadPercent = ReadMemoryLoad();
  times.timesOk = ReadCpuLine(times) && ReadProcessTimes(times);
  return times;
}

}  // namespace orvex
