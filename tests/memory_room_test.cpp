// The memory room read from fake /proc and cgroup trees, so that every layout is checked
// on any machine.
#include "memory_room.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "test_files.h"

using namespace ctp;

namespace fs = std::filesystem;

namespace {

struct Case {
  const char* name;
  std::string self_cgroup;                   // as /proc/self/cgroup
  std::map<std::string, std::string> files;  // under the fake tree: "v2/..." or "v1/..."
  std::int64_t room;
};

constexpr std::int64_t unlimited = INT64_MAX;

const Case cases[] = {
    {"NoControlGroupFile", "", {}, unlimited},
    {"V2WithoutLimit",
     "0::/a\n",
     {{"v2/a/memory.max", "max\n"}, {"v2/a/memory.current", "9\n"}},
     unlimited},
    {"V2LimitLessUsagePlusFileCache",
     "0::/a\n",
     {{"v2/a/memory.max", "1000\n"},
      {"v2/a/memory.current", "600\n"},
      {"v2/a/memory.stat", "anon 300\nfile 300\ninactive_file 100\nactive_file 50\nshmem 7\n"}},
     550},
    {"V2TightestGroupAbove",
     "0::/a/b/\n",
     {{"v2/a/b/memory.max", "1000\n"},
      {"v2/a/b/memory.current", "100\n"},
      {"v2/a/memory.max", "500\n"},
      {"v2/a/memory.current", "400\n"}},
     100},
    {"V2UsageAboveLimit",
     "0::/a\n",
     {{"v2/a/memory.max", "100\n"}, {"v2/a/memory.current", "200\n"}},
     0},
    {"V1MemoryAmongOtherControllers",
     "5:cpu,cpuacct:/x\n4:memory:/g\n0::/\n",
     {{"v1/g/memory.limit_in_bytes", "800\n"},
      {"v1/g/memory.usage_in_bytes", "300\n"},
      {"v1/g/memory.stat",
       "cache 80\ninactive_file 1\ntotal_inactive_file 20\ntotal_active_file 30\n"},
      {"v1/x/memory.limit_in_bytes", "1\n"}},
     550},
    // v1 writes "no limit" as a number near INT64_MAX; the cache must not overflow it.
    {"V1NoLimitWithCache",
     "4:memory:/g\n",
     {{"v1/g/memory.limit_in_bytes", "9223372036854771712\n"},
      {"v1/g/memory.usage_in_bytes", "0\n"},
      {"v1/g/memory.stat", "total_active_file 100000\n"}},
     unlimited},
    {"BothVersionsTheLeastRoom",
     "4:memory:/g\n0::/a\n",
     {{"v1/g/memory.limit_in_bytes", "900\n"}, {"v2/a/memory.max", "700\n"}},
     700},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class CgroupRoom : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.empty()); }
  TempDir scratch;
  const fs::path dir = scratch.path;
};

TEST_P(CgroupRoom, LimitLessUsageAtEveryLevel) {
  const Case& c = GetParam();
  fs::create_directories(dir / "v1");
  fs::create_directories(dir / "v2");
  for (const auto& [name, text] : c.files) {
    fs::create_directories((dir / name).parent_path());
    spit(dir / name, text);
  }
  if (!c.self_cgroup.empty()) spit(dir / "cgroup", c.self_cgroup);
  EXPECT_EQ(
      cgroup_room_bytes((dir / "cgroup").c_str(), (dir / "v2").string(), (dir / "v1").string()),
      c.room);
}

INSTANTIATE_TEST_SUITE_P(Trees, CgroupRoom, testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MemAvailable, ReadInKibibytes) {
  TempDir scratch;
  fs::path meminfo = scratch.path / "meminfo";
  spit(meminfo, "MemTotal:       24683752 kB\nMemFree: 1 kB\nMemAvailable:   2048 kB\n");
  EXPECT_EQ(meminfo_available_bytes(meminfo.c_str()), 2048 * 1024);
  spit(meminfo, "MemTotal:       24683752 kB\n");
  EXPECT_EQ(meminfo_available_bytes(meminfo.c_str()), -1);
}

}  // namespace
