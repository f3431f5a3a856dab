// Memory the process can have now, from /proc and the control groups' files.
#include "memory_room.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "proc_files.h"

namespace ctp {

namespace {

constexpr std::int64_t unlimited = INT64_MAX;

// One cgroup version's limit, usage and statistics files, and its file cache keys.
struct CgroupFiles {
  const char *limit, *usage, *stat, *inactive_file, *active_file;
};
constexpr CgroupFiles v2_files = {"memory.max", "memory.current", "memory.stat", "inactive_file ",
                                  "active_file "};
constexpr CgroupFiles v1_files = {"memory.limit_in_bytes", "memory.usage_in_bytes", "memory.stat",
                                  "total_inactive_file ", "total_active_file "};

// The least room under the limits of group and of every group above it, under root.
std::int64_t room_up_from(const std::string& root, std::string group, const CgroupFiles& files) {
  std::int64_t room = unlimited;
  for (;;) {
    std::string dir = root + group + "/", text;
    std::int64_t limit =
        read_small_file(dir + files.limit, text) ? leading_number(text.c_str()) : -1;
    if (limit >= 0) {
      std::int64_t usage =
          read_small_file(dir + files.usage, text) ? leading_number(text.c_str()) : 0;
      std::int64_t cache = 0;
      if (read_small_file(dir + files.stat, text))
        cache = std::max<std::int64_t>(keyed_number(text, files.inactive_file), 0) +
                std::max<std::int64_t>(keyed_number(text, files.active_file), 0);
      // v1 spells "no limit" as a number close to INT64_MAX.
      std::int64_t here;
      if (__builtin_add_overflow(limit - std::max<std::int64_t>(usage, 0), cache, &here))
        here = unlimited;
      room = std::min(room, std::max<std::int64_t>(here, 0));
    }
    if (group.empty()) return room;
    std::size_t parent_end = group.rfind('/');
    group.erase(parent_end == std::string::npos ? 0 : parent_end);
  }
}

// The size in kB after key in a file laid out as /proc/meminfo, in bytes; -1 when absent.
std::int64_t kib_file_bytes(const char* path, std::string_view key) {
  std::string text;
  if (!read_small_file(path, text)) return -1;
  std::int64_t kib = keyed_number(text, key);
  if (kib < 0) return -1;
  return kib > unlimited / 1024 ? unlimited : kib * 1024;
}

// Physical memory in bytes, or INT64_MAX when the system does not say.
std::int64_t physical_memory_bytes() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return unlimited;
  if (pages > unlimited / page_size) return unlimited;
  return static_cast<std::int64_t>(pages) * page_size;
}

// The room under the address-space and data-size limits, from status_path (as
// /proc/self/status). INT64_MAX without limits.
std::int64_t process_limit_room_bytes(const char* status_path) {
  std::int64_t room = unlimited;
  for (auto [resource, key] : {std::pair{RLIMIT_AS, "VmSize:"}, {RLIMIT_DATA, "VmData:"}}) {
    rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur > static_cast<rlim_t>(unlimited))
      continue;
    std::int64_t used = std::max<std::int64_t>(kib_file_bytes(status_path, key), 0);
    room =
        std::min(room, std::max<std::int64_t>(static_cast<std::int64_t>(limit.rlim_cur) - used, 0));
  }
  return room;
}

}  // namespace

std::int64_t meminfo_available_bytes(const char* meminfo_path) {
  return kib_file_bytes(meminfo_path, "MemAvailable:");
}

std::int64_t cgroup_room_bytes(const char* self_cgroup_path, const std::string& v2_root,
                               const std::string& v1_root) {
  std::string text;
  if (!read_small_file(self_cgroup_path, text)) return unlimited;
  std::int64_t room = unlimited;
  // Lines "hierarchy:controllers:path"; v2's has no controllers, v1's lists "memory".
  for (std::size_t at = 0; at < text.size();) {
    std::string_view line = next_line(text, at);
    std::size_t first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) continue;
    std::string_view controllers = line.substr(first + 1, second - first - 1);
    std::string group(line.substr(second + 1));
    if (!group.empty() && group.back() == '/') group.pop_back();
    if (controllers.empty())
      room = std::min(room, room_up_from(v2_root, group, v2_files));
    else if (any_list_item(controllers, [](std::string_view c) { return c == "memory"; }))
      room = std::min(room, room_up_from(v1_root, group, v1_files));
  }
  return room;
}

std::int64_t shared_memory_room_bytes() {
  std::int64_t available = meminfo_available_bytes("/proc/meminfo");
  if (available < 0) available = physical_memory_bytes();
  // v2 at /sys/fs/cgroup or /sys/fs/cgroup/unified; a group missing there adds no limit.
  const char* v2_root = access("/sys/fs/cgroup/cgroup.controllers", F_OK) == 0
                            ? "/sys/fs/cgroup"
                            : "/sys/fs/cgroup/unified";
  return std::min(available,
                  cgroup_room_bytes("/proc/self/cgroup", v2_root, "/sys/fs/cgroup/memory"));
}

std::int64_t memory_room_bytes() {
  return std::min(shared_memory_room_bytes(), process_limit_room_bytes("/proc/self/status"));
}

bool fits_room(std::int64_t room, std::int64_t bytes, std::int64_t more) {
  std::int64_t needed;
  return !__builtin_add_overflow(bytes, more, &needed) &&
         !__builtin_add_overflow(needed, process_growth_bytes, &needed) && needed <= room;
}

void limit_data_to_room(std::int64_t room, std::int64_t also_needed) {
  std::int64_t data = kib_file_bytes("/proc/self/status", "VmData:");
  if (room == unlimited || data < 0) return;
  std::int64_t spare = std::max(room - also_needed - process_growth_bytes, process_growth_bytes);
  rlimit limit;
  if (getrlimit(RLIMIT_DATA, &limit) != 0 || data > unlimited - spare) return;
  std::uint64_t wanted = static_cast<std::uint64_t>(data + spare);
  if (wanted >= static_cast<std::uint64_t>(RLIM_INFINITY)) return;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted) return;
  limit.rlim_cur = static_cast<rlim_t>(wanted);
  setrlimit(RLIMIT_DATA, &limit);
}

}  // namespace ctp
