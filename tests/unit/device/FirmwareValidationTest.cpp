// Whether a firmware file fits the connected receiver, asked of the monitor's
// product record and of the identity a running application reports.
#include <gtest/gtest.h>

#include <cstring>

#include "afx/Clock.h"
#include "afx/Exception.h"
#include "device/GarnexInterface.h"
#include "firmware/HopsaFile.h"
#include "port/SerialInterface.h"
#include "support/FirmwareImages.h"
#include "support/FrameResponder.h"
#include "support/PluginTestEnv.h"
#include "support/TempDir.h"

namespace {

using test::Bytes;

struct Receiver {
  const char* serial = "4711";
  BYTE productCode = 100;  // QZ710, platform KELVOR
  WORD productId = 0;
  BYTE capability = 0;
  BYTE installedMajor = 4, installedMinor = 10;
};

Bytes ProductRecord(const Receiver& r) {
  Bytes b(425, 0);
  std::memcpy(&b[2], r.serial, std::strlen(r.serial));
  if (r.serial[0] == '\0') b[2] = b[3] = 0xFF;
  b[147] = r.capability;
  b[151] = r.installedMajor;
  b[152] = r.installedMinor;
  b[336] = r.productCode;
  b[375] = static_cast<BYTE>(r.productId >> 8);
  b[376] = static_cast<BYTE>(r.productId);
  return b;
}

struct Case {
  const char* name;
  Receiver receiver;
  const char* platform;
  std::uint16_t version;
  int answer;           // to a version prompt
  DWORD wantCode;       // 0: accepted; 1: cancelled
  UINT wantPrompt;      // 0: none
};

const Case kCases[] = {
    {"newer file", {}, "KELVOR ", 420, 0, 0, 0},
    {"another platform", {}, "NESTIR ", 420, 0, 824, 0},
    {"same version, proceed", {}, "KELVOR ", 410, IDYES, 0, 151},
    {"same version, declined", {}, "KELVOR ", 410, IDNO, 1, 151},
    {"older version, declined", {}, "KELVOR ", 405, IDNO, 1, 158},
    {"no serial number", {""}, "KELVOR ", 420, 0, 808, 0},
    {"product ID when the code is 0", {"1", 0, 100}, "KELVOR ", 420, 0, 0, 0},
    {"capability table", {"1", 0x35, 0, 2}, "HOLMARC", 420, 0, 0, 0},
    {"capability table, wrong index", {"1", 0x35, 0, 1}, "HOLMARC", 420, 0, 824, 0},
    {"unknown code", {"1", 0x51}, "KELVOR ", 420, 0, 824, 0},
};

class ValidationTest : public ::testing::Test {
 protected:
  ValidationTest() : scoped_(clock_) {
    record_ = std::make_shared<test::DeviceRecord>();
    port_.Attach(std::make_unique<test::ScriptedSerialDevice>(record_), 3, 1, 0, 0, 12);
  }

  std::string ImageFile(const char* platform, std::uint16_t version) {
    testsupport::BlockSpec spec;
    spec.platform = platform;
    spec.version = version;
    return dir_.Write("fw" + std::to_string(++files_) + ".img", testsupport::HopsaImage(testsupport::Pattern(512), spec));
  }

  // Runs `validate` and folds its outcome into the codes of the table.
  static DWORD Outcome(const std::function<void()>& validate) {
    try {
      validate();
    } catch (const CLSDeviceException& e) {
      return e.GetCode();
    } catch (const CUserException&) {
      return 1;
    }
    return 0;
  }

  afx::VirtualClock clock_;
  afx::ScopedClock scoped_;
  test::PluginStrings strings_;
  test::RecordingUi ui_;
  testsupport::TempDir dir_;
  OperationParams params_{3, 0, nullptr, nullptr};
  std::shared_ptr<test::DeviceRecord> record_;
  CSerialInterface port_;
  int files_ = 0;
};

TEST_F(ValidationTest, MonitorRecord) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ui_.boxes.clear();
    ui_.answers = {c.answer};
    CGarnexInterface device(&port_, params_);
    const Bytes record = ProductRecord(c.receiver);
    ASSERT_TRUE(device.GetGarnexInfo().FillOutProductInfo(record.data(), 425));
    CHopsaFile file(ImageFile(c.platform, c.version).c_str());
    EXPECT_EQ(Outcome([&] { device.ValidateFirmwareUpdate(file); }), c.wantCode);
    if (c.wantPrompt == 0) {
      EXPECT_TRUE(ui_.boxes.empty());
    } else {
      ASSERT_EQ(ui_.boxes.size(), 1u);
      EXPECT_EQ(ui_.boxes[0].text, c.wantPrompt == 151 ? "Software version already installed!\n\nProceed?"
                                                        : "The software you are attempting to install is an older "
                                                          "version than the\ncurrently installed software.\n\nProceed?");
      EXPECT_EQ(ui_.boxes[0].flags & MB_TYPEMASK, MB_YESNO);
    }
    EXPECT_EQ(device.GetProductInfoFlag(), c.receiver.capability != 0 && c.wantCode != 808);
  }
}

TEST_F(ValidationTest, RunningApplicationIdentity) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ui_.boxes.clear();
    ui_.answers = {c.answer};
    record_->line.Clear();
    CGarnexInterface device(&port_, params_);
    test::FrameResponder app(record_->line, test::FrameResponder::Kind::LongReport, [&](const test::SeenFrame& f) {
      EXPECT_EQ(f.type, 0x9B);
      EXPECT_EQ(f.data, Bytes({0x08, 0x00}));
      const Receiver& r = c.receiver;
      Bytes d = {0x08, 0, r.productCode, r.capability, BYTE(r.productId >> 8), BYTE(r.productId), r.installedMajor,
                 r.installedMinor};
      d.resize(82, 0);
      std::memcpy(&d[50], r.serial, std::strlen(r.serial));
      return test::LongReportFrame(0x9F, d);
    });
    CHopsaFile file(ImageFile(c.platform, c.version).c_str());
    EXPECT_EQ(Outcome([&] { device.ValidateFirmwareUpdateApplication(file); }), c.wantCode);
    EXPECT_EQ(ui_.boxes.size(), c.wantPrompt == 0 ? 0u : 1u);
  }
}

TEST_F(ValidationTest, ApplicationThatDoesNotStateItsIdentity) {
  CGarnexInterface device(&port_, params_);
  CHopsaFile file(ImageFile("KELVOR ", 420).c_str());
  EXPECT_EQ(Outcome([&] { device.ValidateFirmwareUpdateApplication(file); }), 808u);
}

}  // namespace
