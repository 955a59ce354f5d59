#include "process_memory.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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

// The parent and the resident kilobytes of one process from /proc/PID/stat; false when
// it is gone. Example line: "42 (sqlupgrade-cli) S 41 ..." -> parent 41.
bool readStat(int pid, int& parent, long& residentKb) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(in, text)) return false;
    const auto close = text.rfind(')');
    if (close == std::string::npos) return false;
    std::istringstream fields(text.substr(close + 2));
    std::vector<std::string> values;
    for (std::string value; fields >> value;) values.push_back(value);
    if (values.size() < 22) return false;
    parent = std::stoi(values[1]);
    residentKb = std::stol(values[21]) * (::sysconf(_SC_PAGESIZE) / 1024);  // field 24, in pages
    return true;
}

}  // namespace

TreeMemory treeResidentMemory(int rootPid) {
    std::map<int, std::pair<int, long>> processes;  // pid -> parent, resident kB
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        int parent = 0;
        long resident = 0;
        if (readStat(std::stoi(name), parent, resident)) processes[std::stoi(name)] = {parent, resident};
    }
    TreeMemory memory;
    for (const auto& [pid, info] : processes) {
        for (int up = pid; up > 1;) {
            if (up == rootPid) {
                memory.sumKilobytes += info.second;
                memory.largestKilobytes = std::max(memory.largestKilobytes, info.second);
                break;
            }
            const auto found = processes.find(up);
            if (found == processes.end()) break;
            up = found->second.first;
        }
    }
    return memory;
}

bool resetPeakResidentMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

long peakResidentKilobytes() { return statusKilobytes("VmHWM"); }

long residentKilobytes() { return statusKilobytes("VmRSS"); }

}  // namespace benchsupport
