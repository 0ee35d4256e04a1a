// Bad firmware files against the virtual receiver: each one is refused with
// its own message, and the receiver is never asked to erase, program or take
// an upload block, on either route of the update.
#include <gtest/gtest.h>

#include <algorithm>

#include "afx/PropertySheet.h"
#include "operations/UpdateOperation.h"
#include "sim/ImageWriter.h"
#include "support/FirmwareImages.h"
#include "support/SimScenario.h"

namespace {

constexpr std::uint32_t kMonitorBase = 0x02400000;
constexpr std::uint32_t kAppBase = 0x02440000;

std::vector<std::uint8_t> Application(const char* platform = "KELVOR ", std::uint16_t year = 2024,
                                      std::uint8_t month = 6, std::size_t size = 8 * 1024) {
  sim::IdentityBlock id;
  id.name = platform;
  id.version = 420;
  id.year = year;
  id.month = month;
  id.imageSize = static_cast<std::uint32_t>(size);
  std::vector<std::uint8_t> app = sim::ImageWriter::Identity(id);
  while (app.size() < size) app.push_back(static_cast<std::uint8_t>(app.size() * 13 % 251));
  return app;
}

std::vector<std::uint8_t> Monitor() { return std::vector<std::uint8_t>(4096, 0x3C); }

std::vector<std::uint8_t> Container(const std::vector<std::uint8_t>& app) {
  return sim::ImageWriter::Timg({{0, 3, 21, kMonitorBase, Monitor()}, {2, 4, 20, kAppBase, app}});
}

// Registers the file as the catalogue's only QZ710 firmware and runs the update with it.
int Update(test::SimScenario& s, const std::string& fileName, const std::vector<std::uint8_t>& bytes) {
  s.AddFirmware(bytes, fileName, "Version 4.20", "QZ710");
  CUpdateOperation op;
  CPropertySheet sheet;
  sheet.AddPage(&op.GetUpdatePage());
  EXPECT_TRUE(sheet.ActivatePage(0));
  EXPECT_TRUE(sheet.NextFrom(0));
  return s.Run(op);
}

TEST(BadImageScenario, EveryBadImageIsRefusedBeforeAnythingIsErasedOrProgrammed) {
  const std::vector<std::uint8_t> good = Container(Application());

  std::vector<std::uint8_t> truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() * 3 / 5));

  testsupport::TimgSectionSpec monitorOnly{0, 3, 21, kMonitorBase, Monitor()};
  testsupport::TimgSectionSpec pastTheEnd{2, 4, 20, kAppBase, Application()};
  pastTheEnd.declaredLength = static_cast<std::uint32_t>(pastTheEnd.payload.size() + 0x800);

  sim::IdentityBlock imgId;
  imgId.name = "KELVOR ";
  imgId.version = 420;
  imgId.imageSize = 0x1000;
  std::vector<std::uint8_t> badAdler = sim::ImageWriter::Img(imgId, std::vector<std::uint8_t>(0x1000, 0x5A));
  badAdler.back() ^= 0x01;

  const std::string srec = sim::ImageWriter::SRecord(Application(), 0);
  std::string badSrec = srec;
  const std::size_t line = badSrec.find("\nS3") + 1;
  const std::size_t end = badSrec.find('\n', line);
  badSrec[end - 1] = badSrec[end - 1] == '0' ? '1' : '0';  // the checksum's last digit

  struct Case {
    const char* name;
    const char* file;
    std::vector<std::uint8_t> bytes;
    const char* receiver;  // profile lines beyond the route's
    int code;              // of the failure
    const char* message;   // a part of the one message box
  };
  const Case cases[] = {
      {"wrong platform", "fw.timg", Container(Application("NESTIR ")), "", 824, "firmware and hardware mismatch"},
      {"dated before the flash chip", "fw.timg", Container(Application("KELVOR ", 2003, 6)),
       "monitor.chip = Corval 5\n", 822, "has newer hardware than this firmware supports"},
      {"bad checksum (.img)", "fw.img", badAdler, "", 864, "An error was found in the file"},
      {"bad checksum (S-record)", "fw.srec", std::vector<std::uint8_t>(badSrec.begin(), badSrec.end()), "", 862,
       "An error was found in the file"},
      {"truncated", "fw.timg", truncated, "", 852, "error verifying the file"},
      {"no application section", "fw.timg", testsupport::TimgImage({monitorOnly}), "", 852, "error verifying the file"},
      {"section past the end", "fw.timg", testsupport::TimgImage({monitorOnly, pastTheEnd}), "", 852,
       "error verifying the file"},
  };
  // 3.50 is programmed from the monitor; 4.10 takes a container itself.
  for (const char* version : {"3.50", "4.10"}) {
    for (const Case& c : cases) {
      // The flash chip is known only from the monitor's flash description,
      // which the application route never reads (docs/RELIABILITY.md).
      if (std::string(c.receiver).find("Corval 5") != std::string::npos && std::string(version) == "4.10") continue;
      SCOPED_TRACE(std::string(c.name) + ", application " + version);
      test::SimScenario s(std::string("product.features = 1:0\nradio.pipe = nak\nproduct.installed = 3,50\nversion = ") +
                          version + "\n" + c.receiver);
      EXPECT_EQ(Update(s, c.file, c.bytes), 0);
      // A wrong box count must not hide the rows after it, nor the erase checks below.
      EXPECT_EQ(s.ui.boxes.size(), 1u);
      if (!s.ui.boxes.empty()) {
        EXPECT_NE(s.ui.boxes[0].text.find(c.message), std::string::npos) << s.ui.boxes[0].text;
        EXPECT_NE(s.ui.boxes[0].text.find("[" + std::to_string(c.code) + "]"), std::string::npos) << s.ui.boxes[0].text;
      }
      for (int command : s.Requests("loader"))
        EXPECT_TRUE(command != 1 && command != 21 && command != 3 && command != 23) << "loader " << command;
      const std::string upload = "request report 0x9B len ";
      for (const auto& e : s.Receiver().GetTranscript().Entries())
        if (e.note.rfind(upload, 0) == 0) {
          EXPECT_LE(std::stoul(e.note.substr(upload.size())), 2u) << e.note;
        }
      EXPECT_TRUE(s.Receiver().Flash().EraseLog().empty());
      EXPECT_TRUE(s.Receiver().UploadedImage().empty());
    }
  }
}

}  // namespace
