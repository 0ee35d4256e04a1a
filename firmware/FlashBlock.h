// The unit of every block loop that programs a receiver.
#pragma once
#include "afx/WinTypes.h"

struct FlashBlock {
  static constexpr WORD kCapacity = 1024;
  // Flat files: file position of data[0]. ELF and S-record images: its load address.
  DWORD address = 0;
  BYTE data[kCapacity] = {};
  // Valid bytes in data, 1 to kCapacity once a block has been delivered.
  WORD count = 0;
};
