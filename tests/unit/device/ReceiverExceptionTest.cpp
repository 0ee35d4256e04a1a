// What the receiver interfaces' failures say, and the rate-to-code table.
#include <gtest/gtest.h>

#include "afx/Exception.h"
#include "device/GarnexException.h"
#include "device/LSDeviceInterface.h"
#include "support/PluginTestEnv.h"

TEST(ReceiverExceptionTest, Messages) {
  test::PluginStrings strings;
  const std::pair<CString, std::string> cases[] = {
      {CLSDeviceException(800, 4).GetMessage(), "Operation Failure!"},
      {CLSDeviceException(801, 4).GetMessage(),
       "Device failure! [801]  - There was no response from the QZ7xx on COM4\n\nRestart the QZ7xx and try again."},
      {CLSDeviceException(819, 4).GetMessage(),
       "Device failure! [819] - The QZ7xx on COM4 did not respond as expected. \n\nRestart the QZ7xx and try again."},
      {CLSDeviceException(809, 4, true).GetMessage(), ""},
      {CGarnexException(700, 3).GetMessage(), "Operation failure!"},
      {CGarnexException(707, 3).GetMessage(),
       "QZ7xx failure! [707] - The QZ7xx on COM3 returned an unexpected response.\n\nRestart the QZ7xx and try again."},
  };
  for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
  // A buffer shorter than the text gets its start, terminated; one byte holds just the end.
  char small[8] = "xxxxxxx";
  EXPECT_TRUE(CLSDeviceException(801, 4).GetErrorMessage(small, 5));
  EXPECT_STREQ(small, "Devi");
  EXPECT_TRUE(CMemoryException().GetErrorMessage(small, 1));
  EXPECT_STREQ(small, "");
  test::RecordingUi ui;
  EXPECT_EQ(CLSDeviceException(809, 4, true).ReportError(), IDOK);
  EXPECT_TRUE(ui.boxes.empty());
  CLSDeviceException(801, 4).ReportError();
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST(ReceiverExceptionTest, BaudCodes) {
  const std::pair<DWORD, int> cases[] = {{2400, 4},    {4800, 5},    {9600, 6},    {14400, 7},
                                         {19200, 8},   {38400, 9},   {57600, 11},  {115200, 12},
                                         {230400, 15}, {460800, 16}, {28800, -1},  {0, -1}};
  for (const auto& [rate, code] : cases) EXPECT_EQ(CLSDeviceInterface::BaudCodeFromRate(rate), code) << rate;
}
