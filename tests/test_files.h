// Files for the tests: writing one, and reading one or a stream back.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// Writes bytes to path, replacing what it held.
inline void spit(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The bytes of the file at path; empty when there is none.
inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << f.rdbuf();
  return bytes.str();
}

// A new directory under the system's temporary one, removed with all it holds.
struct TempDir {
  std::filesystem::path path;
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ctp_test_XXXXXX").string();
    if (mkdtemp(pattern.data())) path = pattern;
  }
  ~TempDir() {
    if (!path.empty()) std::filesystem::remove_all(path);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
};

// A stream over a new temporary file holding text, positioned at its start.
inline std::FILE* file_with(const std::string& text) {
  std::FILE* f = std::tmpfile();
  if (f) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
  }
  return f;
}

// What the stream holds from its position on.
inline std::string rest_of(std::FILE* f) {
  std::string bytes;
  for (int c; (c = std::fgetc(f)) != EOF;) bytes += static_cast<char>(c);
  return bytes;
}
