#include "process_memory.h"

#include <fstream>
#include <string>

namespace benchsupport {
namespace {

// A "Name:   1234 kB" line of /proc/self/status.
long statusKilobytes(const std::string& name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
    }
    return -1;
}

}  // namespace

bool resetPeakResidentMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

long peakResidentKilobytes() { return statusKilobytes("VmHWM"); }

long residentKilobytes() { return statusKilobytes("VmRSS"); }

}  // namespace benchsupport
