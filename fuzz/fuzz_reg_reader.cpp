// Arbitrary bytes into the .reg reader. Whatever it accepts must be written
// back in a form that reads to the very same tree.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "afx/RegHive.h"
#include "afx/RegReader.h"
#include "afx/RegWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  afx::RegHive hive;
  std::string error;
  if (!afx::RegReader::Apply(text, "input.reg", hive, error)) {
    // A refusal must say where and why.
    if (error.rfind("input.reg line ", 0) != 0 || error.find(" but found ") == std::string::npos) {
      std::fprintf(stderr, "malformed error: %s\n", error.c_str());
      std::abort();
    }
    return 0;
  }
  const std::string written = afx::RegWriter::WriteHive(hive);
  afx::RegHive reread;
  if (!afx::RegReader::Apply(written, "written.reg", reread, error)) {
    std::fprintf(stderr, "own output refused: %s\n", error.c_str());
    std::abort();
  }
  if (!(reread == hive) || afx::RegWriter::WriteHive(reread) != written) {
    std::fprintf(stderr, "round trip changed the tree\n");
    std::abort();
  }
  return 0;
}
