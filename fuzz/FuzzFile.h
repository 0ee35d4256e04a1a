// Puts fuzz input into a file of this process, since the firmware readers
// take paths.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

inline std::string FuzzInputFile(const char* name, const std::uint8_t* data, std::size_t size) {
  const std::string path = (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm/") : std::string("/tmp/")) + name +
                           "." + std::to_string(getpid());
  // Unbuffered: a stdio stream would allocate (and the sanitizer fill) a
  // buffer on every run for a single write.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return path;
}
