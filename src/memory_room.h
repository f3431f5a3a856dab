// How much memory this process can have now, as the system reports it. A run asks for all
// of its memory before it starts, so a count too large for the machine is refused at once
// instead of being killed part-way through.
#pragma once

#include <cstdint>
#include <string>

// Bytes the process can have now: the least of what the system reports available
// (MemAvailable, or physical memory where the system does not report it), the room left
// under the memory limit of every control group the process is in, and the room left
// under its own address-space and data-size limits. INT64_MAX when nothing is known.
std::int64_t memory_room_bytes();

// The process's private writable memory (VmData), which its data-size limit bounds, in
// bytes; -1 when the system does not say.
std::int64_t data_bytes();

// The room left under the process's address-space and data-size limits (ulimit -v, -d),
// from the sizes in status_path (laid out as /proc/self/status). INT64_MAX without limits.
std::int64_t process_limit_room_bytes(const char* status_path);

// Physical memory in bytes, or INT64_MAX when the system does not say.
std::int64_t physical_memory_bytes();

// MemAvailable in meminfo_path (laid out as /proc/meminfo) in bytes, or -1 when absent.
std::int64_t meminfo_available_bytes(const char* meminfo_path);

// The room left under the memory limits of the control groups named in self_cgroup_path
// (laid out as /proc/self/cgroup) and every group above them: the limit less the usage,
// plus the file cache the kernel reclaims before it refuses memory. cgroup v2 groups are
// looked up under v2_root, v1 memory groups under v1_root. INT64_MAX without a limit.
std::int64_t cgroup_room_bytes(const char* self_cgroup_path, const std::string& v2_root,
                               const std::string& v1_root);
