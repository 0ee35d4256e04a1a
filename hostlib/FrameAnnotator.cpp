#include "hostlib/FrameAnnotator.h"

#include <cstdio>

#ifdef TALVERN_HAS_SIM
#include "sim/LoaderCodec.h"
#include "sim/ReportCodec.h"
#endif

struct FrameAnnotator::Decoders {
#ifdef TALVERN_HAS_SIM
  sim::ReportCodec report;
  sim::LoaderCodec loader;
#endif
};

FrameAnnotator::FrameAnnotator() : toDevice_(std::make_unique<Decoders>()), fromDevice_(std::make_unique<Decoders>()) {}
FrameAnnotator::~FrameAnnotator() = default;

std::string FrameAnnotator::Annotate(bool hostToDevice, const std::uint8_t* data, std::size_t count) {
  std::string out;
#ifdef TALVERN_HAS_SIM
  Decoders& d = hostToDevice ? *toDevice_ : *fromDevice_;
  auto add = [&out](const char* kind, unsigned type, std::size_t n) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%s 0x%02X, %zu bytes", out.empty() ? "" : "; ", kind, type, n);
    out += text;
  };
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t b = data[i];
    // A lone ACK or NAK outside a frame is the report protocol's answer.
    if (!d.report.InFrame() && !d.loader.InFrame() && (b == sim::kAck || b == sim::kNak)) {
      out += out.empty() ? "" : "; ";
      out += b == sim::kAck ? "ACK" : "NAK";
    }
    if (d.report.Feed(b)) add("report", d.report.Frame().type, d.report.Frame().data.size());
    if (d.loader.Feed(b)) add("loader", d.loader.Frame().command, d.loader.Frame().data.size());
  }
#else
  (void)hostToDevice;
  (void)data;
  (void)count;
#endif
  return out;
}
