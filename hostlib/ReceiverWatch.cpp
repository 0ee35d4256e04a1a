#include "hostlib/ReceiverWatch.h"

#ifdef TALVERN_HAS_SIM
#include "sim/BreakInfoText.h"
#include "sim/ReportCodec.h"
#endif

struct ReceiverWatch::Decoder {
#ifdef TALVERN_HAS_SIM
  // The firmware upload's reply (0x9F) has a two-byte length field.
  sim::ReportCodec report{[](std::uint8_t type) { return type == 0x9F; }};
#endif
};

ReceiverWatch::ReceiverWatch(std::function<void(const ReceiverIdentity&)> first)
    : decoder_(std::make_unique<Decoder>()), firstHeard_(std::move(first)) {}

ReceiverWatch::~ReceiverWatch() = default;

ReceiverIdentity ReceiverWatch::Parse(const std::string& text) {
  ReceiverIdentity id;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string field = text.substr(start, end - start);
    const size_t comma = field.find(',');
    const std::string name = field.substr(0, comma);
    const std::string value = comma == std::string::npos ? "" : field.substr(comma + 1);
    if (name == "PRODUCT") id.product = value;
    else if (name == "SERIAL") id.serial = value;
    else if (name == "VERSION") id.version = value;
    start = end + 1;
  }
  const std::string monitor = "-MONITOR";
  if (id.product.size() >= monitor.size() &&
      id.product.compare(id.product.size() - monitor.size(), monitor.size(), monitor) == 0)
    id.version.clear();
  return id;
}

void ReceiverWatch::Feed(const std::uint8_t* data, std::size_t count) {
#ifdef TALVERN_HAS_SIM
  ReceiverIdentity heard;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (heard_) return;
    for (std::size_t i = 0; i < count && !heard_; ++i) {
      if (!decoder_->report.Feed(data[i]) || decoder_->report.Frame().type != sim::kBreakReplyType) continue;
      const auto& d = decoder_->report.Frame().data;
      first_ = Parse(std::string(d.begin(), d.end()));
      heard_ = !first_.product.empty();
    }
    if (!heard_) return;
    heard = first_;
  }
  if (firstHeard_) firstHeard_(heard);
#else
  (void)data;
  (void)count;
#endif
}

ReceiverIdentity ReceiverWatch::First() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return first_;
}
