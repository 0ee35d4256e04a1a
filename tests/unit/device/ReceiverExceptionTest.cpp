// Messages of the receiver interfaces' exceptions, and the rate-to-code table.
#include <gtest/gtest.h>

#include "afx/Format.h"
#include "device/GarnexException.h"
#include "device/LSDeviceInterface.h"
#include "support/PluginTestEnv.h"

TEST(ReceiverExceptionTest, Messages) {
  test::PluginStrings strings;
  const CString family = AfxLoadString(212);
  struct Case {
    DWORD code;
    bool silent;
    CString want;  // empty: no message
  };
  const Case cases[] = {
      {800, false, AfxLoadString(1100)},
      {801, false, FormatString(1101, 801, family, 4, family)},
      {811, false, FormatString(1111, 811, family, 4, family)},
      {819, false, FormatString(1119, 819, family, 4, family)},
      {809, true, CString()},
      {800, true, CString()},
  };
  for (const Case& c : cases) {
    const CLSDeviceException e(c.code, 4, c.silent);
    EXPECT_EQ(e.GetMessage(), c.want) << c.code;
  }
  test::RecordingUi ui;
  EXPECT_EQ(CLSDeviceException(809, 4, true).ReportError(), IDOK);
  EXPECT_TRUE(ui.boxes.empty());
  CLSDeviceException(801, 4).ReportError();
  EXPECT_EQ(ui.boxes.size(), 1u);

  EXPECT_EQ(CGarnexException(700, 3).GetMessage(), AfxLoadString(800));
  EXPECT_EQ(CGarnexException(701, 3).GetMessage(), FormatString(801, 701, 3));
  EXPECT_EQ(CGarnexException(707, 3).GetMessage(), FormatString(807, 707, 3));
  EXPECT_NE(CGarnexException(707, 3).GetMessage().find("COM3"), CString::npos);
}

TEST(ReceiverExceptionTest, BaudCodes) {
  const std::pair<DWORD, int> cases[] = {{2400, 4},    {4800, 5},    {9600, 6},    {14400, 7},
                                         {19200, 8},   {38400, 9},   {57600, 11},  {115200, 12},
                                         {230400, 15}, {460800, 16}, {28800, -1},  {0, -1}};
  for (const auto& [rate, code] : cases) EXPECT_EQ(CLSDeviceInterface::BaudCodeFromRate(rate), code) << rate;
}
