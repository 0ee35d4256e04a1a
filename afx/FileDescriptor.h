// The descriptor calls that CFile is made of, with their POSIX meaning; the
// build's backend (afx/posix/ or afx/win/) supplies them, so that what CFile
// does with them is written once. Standard types only.
#pragma once
#include <cstdint>

namespace afx::fd {

// Bytes read or written, 0 at the end of the input, -1 with errno set; a
// call cut short by a signal is made again.
long ReadSome(int fd, void* buffer, unsigned count);
long WriteSome(int fd, const void* buffer, unsigned count);
// 0, or -1 with errno set.
int Close(int fd);
// The new position, or -1 with errno set.
std::int64_t Seek(int fd, std::int64_t offset, int whence);
// False with errno set.
bool Size(int fd, std::uint64_t* size);
// Puts what was written on the disk: 0, or -1 with errno set; a descriptor
// that has no disk behind it counts as done.
int Sync(int fd);

// Writes all that is left of `in` to `out`; false with errno set. Portable.
bool CopyAll(int in, int out);

}  // namespace afx::fd
