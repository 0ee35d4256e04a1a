// The application's report requests: the dispatch, port settings, network
// settings, the radio pipe's opening and the reset request.
#include <algorithm>

#include "sim/BreakInfoText.h"
#include "sim/Bytes.h"
#include "sim/VirtualReceiver.h"

namespace sim {

namespace {

bool SupportedBaud(std::uint32_t baud) {
  static const std::uint32_t rates[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200, 230400, 460800};
  return std::find(std::begin(rates), std::end(rates), baud) != std::end(rates);
}

}  // namespace

void VirtualReceiver::OnReport(const ReportFrame& f) {
  Note("request report " + Hex(f.type) + " len " + std::to_string(f.data.size()));
  if (!Admit(f.type, "fault: NAK", [this] { Nak(); })) return;
  const auto& d = f.data;
  switch (f.type) {
    case kBreakRequestType:
      SendBreakInfo(false);
      break;
    case 0x06:
      ReplyReport(0x07, VersionText());
      break;
    case 0x14:
      ReplyReport(0x15, GpsTimeText());
      break;
    case 0x48:
      SetComms(d);
      break;
    case 0x91:
      ErrorLogRequest(d);
      break;
    case 0x4A:
      ReplyReport(0x4B, Capability());
      break;
    case 0x84:
      if (d.size() == 2 && d[1] == 0x00) {
        // The receiver takes its port back from the radio.
        pipeOpen_ = false;
        Ack();
      } else if (d.size() != 2 || d[1] != 0x04 || profile_.radioPipe == Profile::Pipe::Nak) {
        Nak();
      } else if (profile_.radioPipe == Profile::Pipe::Ack) {
        pipeOpen_ = true;
        Ack();
      }
      break;
    case 0x77:
      RadioQuery(d);
      break;
    case 0xB9:
      Clone(d);
      break;
    case 0xAE:
      Ethernet(d);
      break;
    case 0x58:
      ResetRequest(d);
      break;
    case 0x87:
      Restart(ReceiverMode::Monitor, profile_.appToMonitorMs, now_);
      break;
    case 0x51:
      outputsOff_ = true;
      Ack();
      break;
    case kUploadRequest:
      Upload(d);
      break;
    default:
      Nak();
      break;
  }
}

void VirtualReceiver::SetComms(const std::vector<std::uint8_t>& d) {
  const std::uint32_t baud = d.size() >= 5 ? (static_cast<std::uint32_t>(d[2]) << 16 | d[3] << 8 | d[4]) : 0;
  const bool ok = d.size() == 10 && profile_.acceptSetComms && SupportedBaud(baud) && (d[5] == 7 || d[5] == 8) &&
                  d[6] <= 4 && (d[7] == 1 || d[7] == 2);
  if (!ok) {
    ReplyReport(0x00, {0x00});
    return;
  }
  const std::int64_t done = Ack();
  afx::LineSettings s = appSettings_;
  s.baudRate = baud;
  s.byteSize = d[5];
  s.parity = d[6];
  s.stopBits = d[7] == 2 ? 2 : 0;
  // The port changes speed once the acknowledgement has left it.
  After(done, [this, s] {
    appSettings_ = s;
    if (mode_ == ReceiverMode::Application) line_.SetSettings(Side::Receiver, s, now_);
    Note("application port now " + std::to_string(s.baudRate) + " baud");
  });
}

NetworkSettings VirtualReceiver::InitialNetwork(const Profile& profile) {
  NetworkSettings n;
  n.dhcp = profile.dhcp;
  std::copy(std::begin(profile.ip), std::end(profile.ip), n.ip);
  std::copy(std::begin(profile.netmask), std::end(profile.netmask), n.netmask);
  std::copy(std::begin(profile.broadcast), std::end(profile.broadcast), n.broadcast);
  std::copy(std::begin(profile.gateway), std::end(profile.gateway), n.gateway);
  std::copy(std::begin(profile.dns), std::end(profile.dns), n.dns);
  n.httpPort = profile.httpPort;
  std::copy(std::begin(profile.httpExtra), std::end(profile.httpExtra), n.httpExtra);
  return n;
}

void VirtualReceiver::Ethernet(const std::vector<std::uint8_t>& d) {
  if (d.empty()) {
    Nak();
    return;
  }
  NetworkSettings& n = network_;
  auto quad = [](std::vector<std::uint8_t>& out, const std::uint8_t* q) { out.insert(out.end(), q, q + 4); };
  switch (d[0]) {
    case 0x00: {
      std::vector<std::uint8_t> r{0x00, n.dhcp};
      quad(r, n.ip);
      quad(r, n.netmask);
      quad(r, n.broadcast);
      quad(r, n.gateway);
      quad(r, n.dns);
      ReplyReport(0xAE, r);
      break;
    }
    case 0x12:
      ReplyReport(0xAE, {0x12, static_cast<std::uint8_t>(n.httpPort >> 8), static_cast<std::uint8_t>(n.httpPort),
                         n.httpExtra[0], n.httpExtra[1]});
      break;
    case 0x02:
      if (d.size() != 22 || d[1] > 1) {
        Nak();
        break;
      }
      n.dhcp = d[1];
      std::copy(d.begin() + 2, d.begin() + 6, n.ip);
      std::copy(d.begin() + 6, d.begin() + 10, n.netmask);
      std::copy(d.begin() + 10, d.begin() + 14, n.broadcast);
      std::copy(d.begin() + 14, d.begin() + 18, n.gateway);
      std::copy(d.begin() + 18, d.begin() + 22, n.dns);
      Ack();
      break;
    case 0x14:
      if (d.size() != 5) {
        Nak();
        break;
      }
      n.httpPort = static_cast<std::uint16_t>(d[1] << 8 | d[2]);
      n.httpExtra[0] = d[3];
      n.httpExtra[1] = d[4];
      Ack();
      break;
    default:
      Nak();
  }
}

void VirtualReceiver::ResetRequest(const std::vector<std::uint8_t>& d) {
  static const std::uint8_t text[] = {'R', 'E', 'S', 'E', 'T'};
  if (d.size() != 7 || d[0] != 0xFF || d[1] > 3 || !std::equal(std::begin(text), std::end(text), d.begin() + 2)) {
    Nak();
    return;
  }
  resetModes_.push_back(d[1]);
  const std::int64_t done = Ack();
  if (d[1] == 3) {
    // Factory defaults: settings, logs and stored files go.
    errorLog_.Clear();
    cloneFiles_.clear();
    appSettings_ = Settings(profile_.baud, profile_.dataBits, profile_.parity, profile_.stopBits);
    network_ = InitialNetwork(profile_);
  }
  Restart(ReceiverMode::Application, profile_.resetMs, done);
}

}  // namespace sim
