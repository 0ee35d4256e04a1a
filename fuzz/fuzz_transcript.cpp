// Arbitrary bytes into the transcript parser. Whatever it accepts must be
// written back in a form that parses to the very same entries, and writing
// those again must give the same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "afx/Transcript.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<afx::TranscriptEntry> entries;
  std::string error;
  if (!afx::Transcript::Parse(text, &entries, &error)) {
    // A refusal says where, or that the whole input is not a transcript.
    if (error.rfind("line ", 0) != 0 && error.rfind("empty", 0) != 0) {
      std::fprintf(stderr, "malformed error: %s\n", error.c_str());
      std::abort();
    }
    return 0;
  }
  const std::string written = afx::Transcript::Format(entries);
  std::vector<afx::TranscriptEntry> reread;
  if (!afx::Transcript::Parse(written, &reread, &error)) {
    std::fprintf(stderr, "own output refused: %s\n", error.c_str());
    std::abort();
  }
  if (reread != entries || afx::Transcript::Format(reread) != written) {
    std::fprintf(stderr, "round trip changed the transcript\n");
    std::abort();
  }
  return 0;
}
