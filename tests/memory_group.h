// A cgroup v1 memory group to run a program in, for the tests and the benchmark.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

// A new memory group `name` under the process's own, limited to limit_bytes, or an empty
// path where the machine has no v1 memory controller to make one in. A process joins it by
// writing its id to cgroup.procs; the caller removes it when its processes have ended.
inline std::filesystem::path memory_group(const std::string& name, std::int64_t limit_bytes) {
  std::ifstream self("/proc/self/cgroup");
  std::string line, group;
  while (std::getline(self, line))
    if (line.find(":memory:") != std::string::npos) group = line.substr(line.rfind(':') + 1);
  std::filesystem::path child = std::filesystem::path("/sys/fs/cgroup/memory" + group) / name;
  std::error_code error;
  if (group.empty() || !std::filesystem::create_directory(child, error)) return {};
  std::ofstream(child / "memory.limit_in_bytes") << limit_bytes << "\n";
  return child;
}
