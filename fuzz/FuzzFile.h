// Puts fuzz input into a file of this process, since the firmware readers
// take paths.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

inline std::string FuzzInputFile(const char* name, const std::uint8_t* data, std::size_t size) {
  const std::string path = (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm/") : std::string("/tmp/")) + name +
                           "." + std::to_string(getpid());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}
