// Names the frames in a transcript: every chunk of bytes is fed to a report
// and a loader decoder per direction, and a chunk that completes a frame is
// annotated with it ("report 0x4B, 3 bytes"). The decoders are the virtual
// receiver's own, written apart from the plug-in's packet classes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class FrameAnnotator {
 public:
  FrameAnnotator();
  ~FrameAnnotator();
  FrameAnnotator(const FrameAnnotator&) = delete;
  FrameAnnotator& operator=(const FrameAnnotator&) = delete;

  // The frames this chunk completes, or "".
  std::string Annotate(bool hostToDevice, const std::uint8_t* data, std::size_t count);

 private:
  struct Decoders;
  std::unique_ptr<Decoders> toDevice_;
  std::unique_ptr<Decoders> fromDevice_;
};
