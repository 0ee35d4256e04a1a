// Ethernet setup, cellular modem check and factory reset against the virtual receiver.
#include <gtest/gtest.h>

#include "operations/CellurModemCfgOperation.h"
#include "operations/ResetToFactoryDefaultOperation.h"
#include "operations/TCPSetupDlg.h"
#include "operations/TCPSetupOperation.h"
#include "operations/WipeCMBlockOperation.h"
#include "support/SimScenario.h"

namespace {
const char* kNetwork =
    "net.dhcp = 0\nnet.ip = 10.1.2.3\nnet.netmask = 255.255.255.0\nnet.broadcast = 10.1.2.255\n"
    "net.gateway = 10.1.2.1\nnet.dns = 10.1.2.2\nnet.http_port = 80\nnet.http_extra = 7,9\n";

std::string Quad(const std::uint8_t* q) {
  return std::to_string(q[0]) + "." + std::to_string(q[1]) + "." + std::to_string(q[2]) + "." + std::to_string(q[3]);
}
}  // namespace

TEST(EthernetScenario, EditsAndWritesTheSettings) {
  test::SimScenario s(kNetwork);
  bool disabledAtStart = true;
  bool disabledAfterDhcp = false;
  s.ui.onDialog = [&](CDialog& d) {
    ASSERT_EQ(d.TemplateId(), CTCPSetupDlg::IDD);
    EXPECT_EQ(d.FindControl(CTCPSetupDlg::kIpAddress)->text, "10.1.2.3");
    EXPECT_EQ(d.FindControl(CTCPSetupDlg::kHttpPort)->text, "80");
    EXPECT_EQ(d.FindControl(CTCPSetupDlg::kHttpPort)->limitText, 5);
    EXPECT_EQ(d.FindControl(CTCPSetupDlg::kIpSetup)->selection, CTCPSetupDlg::kStaticRow);
    disabledAtStart = !d.FindControl(CTCPSetupDlg::kGateway)->enabled;
    d.FindControl(CTCPSetupDlg::kGateway)->text = "10.1.2.254";
    d.FindControl(CTCPSetupDlg::kHttpPort)->text = "65536";
    d.SendCommand(IDOK, BN_CLICKED);  // refused: the dialog stays
    EXPECT_FALSE(d.IsEnded());
    d.FindControl(CTCPSetupDlg::kHttpPort)->text = "8080";
    d.FindControl(CTCPSetupDlg::kIpSetup)->selection = CTCPSetupDlg::kDhcpRow;
    d.SendCommand(CTCPSetupDlg::kIpSetup, CBN_SELCHANGE);
    disabledAfterDhcp = !d.FindControl(CTCPSetupDlg::kGateway)->enabled;
  };
  EXPECT_EQ(s.Run<CTCPSetupOperation>(), 1);
  EXPECT_FALSE(disabledAtStart);
  EXPECT_TRUE(disabledAfterDhcp);
  EXPECT_EQ(s.BoxTexts(), std::vector<std::string>{"65536 is not a valid port."});
  EXPECT_EQ(s.ui.boxes.at(0).caption, "HTTP Server Port");
  const auto& n = s.Receiver().Network();
  EXPECT_EQ(n.dhcp, 1);
  EXPECT_EQ(Quad(n.ip), "10.1.2.3");
  EXPECT_EQ(Quad(n.gateway), "10.1.2.254");
  EXPECT_EQ(n.httpPort, 8080);
  EXPECT_EQ(n.httpExtra[0], 7);
  EXPECT_EQ(n.httpExtra[1], 9);
  ASSERT_FALSE(s.Receiver().ResetModes().empty());
  EXPECT_EQ(s.Receiver().ResetModes().back(), 0);
  EXPECT_EQ(s.window.Text(), "Configure ethernet settings");
  EXPECT_TRUE(s.HasStatus("Configure ethernet settings"));
  EXPECT_TRUE(s.HasStatus("Rebooting the QZ7xx receiver..."));
  EXPECT_EQ(s.window.progress, (std::vector<int>{0, 25, 50, 75, 100}));
  EXPECT_EQ(s.window.LastStatus(), "The ethernet settings were configured successfully!");
}

TEST(EthernetScenario, RefusedWriteIs701) {
  test::SimScenario s(std::string(kNetwork) + "fault = nak n=3 type=0xAE\n");
  EXPECT_EQ(s.Run<CTCPSetupOperation>(), 0);
  EXPECT_TRUE(s.OneBoxWith("QZ7xx failure! [701] - There was an error communicating with the QZ7xx on COM7.\nCheck "
                           "that the receiver has power, the cables are connected and\nrestart the QZ710 and try again."));
  EXPECT_TRUE(s.Receiver().ResetModes().empty());
}

TEST(EthernetScenario, PortAndAddressTexts) {
  const std::pair<const char*, int> ports[] = {{"65535", 65535}, {"65536", -1}, {"80a", -1}, {"", 0}, {"0", 0}};
  for (const auto& [text, want] : ports) {
    WORD port = 1;
    EXPECT_EQ(CTCPSetupDlg::ParsePort(text, &port) ? port : -1, want) << text;
  }
  const std::pair<const char*, bool> addresses[] = {{"192.168.0.1", true}, {"256.1.1.1", false}, {"1.2.3", false},
                                                    {"1.2.3.4.5", false},  {"1..3.4", false},    {"1.2.3.x", false},
                                                    {"0.0.0.0", true},     {"0001.2.3.4", false}};
  for (const auto& [text, ok] : addresses) {
    NetworkSettings::Address a{};
    EXPECT_EQ(CTCPSetupDlg::ParseAddress(text, &a) ? CTCPSetupDlg::FormatAddress(a) : "refused", ok ? text : "refused");
  }
}

TEST(CellularScenario, ChecksTheModem) {
  struct Case {
    const char* name;
    const char* profile;
    int result;
    const char* message;  // in the failure box; nullptr on success
  };
  const Case cases[] = {
      {"modem fitted", "hw.flags = 0x20\n", 1, nullptr},
      {"modem fitted, flags at 45", "hw.flags = 0x20\nhw.flags_at = 45\n", 1, nullptr},
      {"no modem", "hw.flags = 0x02\n", 0,
       "QZ7xx failure! [715] - The radio module is incompatible with the requested operation.\n\nRestart the QZ7xx "
       "and manually verify the configuration."},
      {"capability refused", "fault = nak n=1 type=0x4A\n", 0,
       "QZ7xx failure! [707] - The QZ7xx on COM7 returned an unexpected response.\n\nRestart the QZ7xx and try again."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimScenario s(c.profile);
    EXPECT_EQ(s.Run<CCellurModemCfgOperation>(), c.result);
    EXPECT_EQ(s.Requests(), (std::vector<int>{0x4A}));
    if (c.message) {
      EXPECT_TRUE(s.OneBoxWith(c.message));
    } else {
      EXPECT_TRUE(s.ui.boxes.empty());
      EXPECT_EQ(s.window.LastStatus(), "The cellular modem was configured successfully.");
      EXPECT_EQ(s.window.progress.back(), 100);
    }
    EXPECT_EQ(s.window.Text(), "Configure cellular Modem");
  }
}

TEST(FactoryResetScenario, ConfirmedResetWaitsAMinute) {
  test::SimScenario s;
  s.ui.answers = {IDYES};
  CResetToFactoryDefaultOperation op;
  const double start = s.Seconds();
  EXPECT_EQ(s.Run(op), 1);
  EXPECT_GE(s.Seconds() - start, 60.0);
  EXPECT_EQ(s.Receiver().ResetModes(), (std::vector<int>{3}));
  // Mode 3 (factory settings) after the 0xFF lead, then "RESET"; the sum of type, length and data.
  EXPECT_TRUE(s.HostSent({0x02, 0x00, 0x58, 0x07, 0xFF, 0x03, 'R', 'E', 'S', 'E', 'T', 0xE4, 0x03}));
  EXPECT_EQ(s.window.progress, (std::vector<int>{0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
  EXPECT_TRUE(s.HasStatus(
      "Resetting the receiver to factory default. This may take up to 1 minute to complete. Please wait..."));
  EXPECT_EQ(s.window.LastStatus(), "The device has been successfully reset to factory default.");
  ASSERT_EQ(s.ui.boxes.size(), 1u);
  EXPECT_EQ(s.ui.boxes[0].text, "WARNING!! This operation will stop logging data, clear filesystem, clear RAM and "
                                "restart the device. Continue?");
  EXPECT_EQ(s.ui.boxes[0].flags & 0xF, MB_YESNO);
}

TEST(FactoryResetScenario, UnansweredResetIs707) {
  test::SimScenario s("fault = nak n=1 type=0x58\n");
  s.ui.answers = {IDYES};
  EXPECT_EQ(s.Run<CResetToFactoryDefaultOperation>(), 0);
  ASSERT_EQ(s.ui.boxes.size(), 2u);
  EXPECT_EQ(s.ui.boxes[1].text, "DevQZ7xx Version: 5.00b50\n\nQZ7xx failure! [707] - The QZ7xx on COM7 returned an "
                                "unexpected response.\n\nRestart the QZ7xx and try again.");
}

// A declined confirmation ends the run before a byte is sent.
TEST(ConfirmationScenario, DeclinedSendsNothing) {
  CResetToFactoryDefaultOperation reset;
  CWipeCMBlockOperation wipe;
  for (COperation* op : std::initializer_list<COperation*>{&reset, &wipe}) {
    SCOPED_TRACE(op == &reset ? "factory reset" : "wipe");
    test::SimScenario s;
    s.ui.answers = {IDNO};
    EXPECT_EQ(s.Run(*op), 0);
    EXPECT_TRUE(s.HostBytes().empty());
    EXPECT_EQ(s.window.progress, (std::vector<int>{100}));
    EXPECT_EQ(s.window.LastStatus(), "The operation was canceled.");
  }
}
