// How much memory this process can have now, as the system reports it.
#pragma once

#include <cstdint>
#include <string>

namespace ctp {

// What a run may still grow by once it has its window: the fallback stream, stdio, stack.
inline constexpr std::int64_t process_growth_bytes = 8 << 20;

// Bytes the process can have now: the least of MemAvailable (or physical memory), the room
// under each control group's limit, and under its own address-space and data-size limits.
// INT64_MAX when nothing is known.
std::int64_t memory_room_bytes();

// The room the system and control groups leave, where a tmpfs file's pages are charged.
std::int64_t shared_memory_room_bytes();

// Whether bytes, more bytes and process_growth_bytes fit in room.
bool fits_room(std::int64_t room, std::int64_t bytes, std::int64_t more = 0);

// Lowers the data-size limit to room less also_needed and process_growth_bytes, so that an
// allocation past the room (a number of millions of digits) fails and is reported.
void limit_data_to_room(std::int64_t room, std::int64_t also_needed);

// MemAvailable in meminfo_path (laid out as /proc/meminfo) in bytes, or -1 when absent.
std::int64_t meminfo_available_bytes(const char* meminfo_path);

// The room under the memory limits of the groups in self_cgroup_path and those above them:
// limit less usage plus reclaimable file cache, cgroup v2 under v2_root, v1 under v1_root.
// INT64_MAX without a limit.
std::int64_t cgroup_room_bytes(const char* self_cgroup_path, const std::string& v2_root,
                               const std::string& v1_root);

}  // namespace ctp
