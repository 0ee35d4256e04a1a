#include "sim/BreakInfoText.h"

#include "sim/ReportCodec.h"

namespace sim {

std::string BreakInfoText::Build() const {
  std::string text = "PRODUCT," + product + ";PORT," + std::to_string(port) + "," + std::to_string(baud) +
                     ",NONE," + std::to_string(dataBits) + "," + std::to_string(stopBits) + "," +
                     std::string(1, parity) + "," + portMode + ";PORTSTATUS," + portStatus + ";VERSION," +
                     version + ";COMM," + comm + ";SERIAL," + serial + ";REFVER," + refver + ";";
  if (text.size() > 255) text.resize(255);
  return text;
}

std::vector<std::uint8_t> BreakInfoText::Frame() const {
  const std::string text = Build();
  return ReportCodec::Encode(kBreakReplyType, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace sim
