// How much memory this process can have now, as the system reports it: read once a run,
// and again before each window where the output's lines take memory.
#pragma once

#include <cstdint>
#include <string>

namespace ctp {

// What a run may still grow by once it has its window: the C library's stream over the
// input and its buffer, stdio's own buffers, the stack. Every check of the room leaves it.
inline constexpr std::int64_t process_growth_bytes = 8 << 20;

// Bytes the process can have now: the least of what the system reports available
// (MemAvailable, or physical memory where the system does not report it), the room left
// under the memory limit of every control group the process is in, and the room left
// under its own address-space and data-size limits. INT64_MAX when nothing is known.
std::int64_t memory_room_bytes();

// The part of that room that the system and the control groups leave, where a tmpfs
// file's pages are charged too, unlike the process's own limits, which the run lowers.
std::int64_t shared_memory_room_bytes();

// Whether bytes, more bytes and process_growth_bytes fit in room.
bool fits_room(std::int64_t room, std::int64_t bytes, std::int64_t more = 0);

// Sets the process's data-size limit to what it holds now and room less also_needed and
// process_growth_bytes (at least process_growth_bytes more), so that an allocation past
// the room, the C library's for a number with millions of digits say, fails and is
// reported instead of the kernel ending the run. Never raises the limit.
void limit_data_to_room(std::int64_t room, std::int64_t also_needed);

// MemAvailable in meminfo_path (laid out as /proc/meminfo) in bytes, or -1 when absent.
std::int64_t meminfo_available_bytes(const char* meminfo_path);

// The room left under the memory limits of the control groups named in self_cgroup_path
// (laid out as /proc/self/cgroup) and every group above them: the limit less the usage,
// plus the file cache the kernel reclaims before it refuses memory. cgroup v2 groups are
// looked up under v2_root, v1 memory groups under v1_root. INT64_MAX without a limit.
std::int64_t cgroup_room_bytes(const char* self_cgroup_path, const std::string& v2_root,
                               const std::string& v1_root);

}  // namespace ctp
