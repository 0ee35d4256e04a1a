// The error-log viewer and the detail dialog: which entries are listed,
// the rows, the clipboard texts, Clear and the double click.
#include <gtest/gtest.h>

#include <memory>

#include "operations/ErrorDetailDlg.h"
#include "operations/ErrorLogDlg.h"
#include "support/PluginTestEnv.h"
#include "support/ScriptedUi.h"

namespace {

std::unique_ptr<CErrorLogEntry> Entry(DWORD number, BYTE state, WORD format = CErrorLogEntry::kShortFormat) {
  auto e = std::make_unique<CErrorLogEntry>(format, 0);
  e->m_nNumber = number;
  e->m_nID = 7;
  e->m_nVPC = 0x1F;
  e->m_nPC = 0x02440010;
  e->m_nDA = 0x20000004;
  e->m_nRR1 = 1;
  e->m_nRR2 = 0;
  e->m_nSoftwareVersion = 412;
  e->m_nSoftwareYear = 2016;
  e->m_nSoftwareMonth = 3;
  e->m_nSoftwareDay = 7;
  e->m_nTimeOfWeek = 0;
  e->m_nWeek = 0;
  e->m_nUpTime = 42;
  e->m_nStackPointer = 0x2000FFF0;
  e->m_nState = state;
  return e;
}

const char kShortBlock[] =
    "Type: Startup Error\r\nNumber: 0x00000011\r\nID: 7   DA: 0x20000004\r\nVPC: 0x1F  PC: 0x02440010\r\n"
    "RR1: 0x00000001  RR2: 0x00000000\r\nTime & Date [UTC]: 1/6/1980 0:00:00\r\n"
    "Software version 4.12 Software date: 3/7/2016\r\n";

struct Fixture : ::testing::Test {
  test::PluginStrings strings;
  ScriptedUi ui;
  ScopedUi scoped{ui};
  CErrorLogMgr log;

  void SetUp() override {
    log.Append(Entry(0x11, CErrorLogEntry::kStateValid));
    log.Append(Entry(0x12, CErrorLogEntry::kStateDeleted));
    log.Append(Entry(0x13, CErrorLogEntry::kStateEmpty));
    auto noTime = Entry(0x14, CErrorLogEntry::kStateValid);
    noTime->m_nWeek = 0xFFFF;
    log.Append(std::move(noTime));
  }
};

using ErrorLogDlg = Fixture;

TEST_F(ErrorLogDlg, ListsByModeAndDiagnosticFlag) {
  struct Case {
    bool application, diagnostic;
    std::vector<std::string> lines;
  };
  const std::string first = "Startup Error:\t0x00000011  At time: 1/6/1980 0:00:00 UTC";
  const std::string deleted = "Startup Error:\t0x00000012  At time: 1/6/1980 0:00:00 UTC  * DELETED *";
  const std::string last = "Startup Error:\t0x00000014  At time: Not Available";
  const Case cases[] = {{true, false, {first, last}}, {false, false, {first, last}}, {false, true, {first, deleted, last}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.diagnostic);
    CErrorLogDlg dlg(nullptr, log, c.application, c.diagnostic);
    std::vector<std::string> seen;
    bool clearShown = false, textShown = false;
    ui.onDialog = [&](CDialog& d) {
      const afx::Control* list = d.FindControl(CErrorLogDlg::IDC_LIST);
      seen = list->items;
      clearShown = d.FindControl(CErrorLogDlg::IDC_CLEAR)->visible;
      textShown = d.FindControl(CErrorLogDlg::IDC_CLEAR_TEXT)->visible;
      ASSERT_EQ(list->itemData.size(), seen.size());
      EXPECT_EQ(reinterpret_cast<CErrorLogEntry*>(list->itemData[0]), log.GetAt(0));
    };
    dlg.DoModal();
    EXPECT_EQ(seen, c.lines);
    EXPECT_EQ(clearShown, c.application);
    EXPECT_EQ(textShown, c.application);
  }
}

TEST_F(ErrorLogDlg, CopyAllTakesTheListedEntriesInOrder) {
  CErrorLogDlg dlg(nullptr, log, true, false);
  ui.onDialog = [](CDialog& d) { d.SendCommand(CErrorLogDlg::IDC_COPY_ALL, BN_CLICKED); };
  dlg.DoModal();
  const std::string second = std::string(kShortBlock)
                                 .replace(std::string(kShortBlock).find("0x00000011"), 10, "0x00000014")
                                 .replace(std::string(kShortBlock).find("1/6/1980 0:00:00"), 16, "N/A");
  EXPECT_EQ(ui.clipboard, std::string(kShortBlock) + "\r\n" + second + "\r\n");
}

TEST_F(ErrorLogDlg, ClearAsksAndEmptiesOnlyTheList) {
  for (const int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer);
    ui.boxes.clear();
    ui.answers = {answer};
    CErrorLogDlg dlg(nullptr, log, true, false);
    size_t rowsAfter = 99;
    ui.onDialog = [&](CDialog& d) {
      d.SendCommand(CErrorLogDlg::IDC_CLEAR, BN_CLICKED);
      rowsAfter = d.FindControl(CErrorLogDlg::IDC_LIST)->items.size();
      d.SendCommand(CErrorLogDlg::IDC_COPY_ALL, BN_CLICKED);
    };
    dlg.DoModal();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, AfxLoadString(260));
    EXPECT_EQ(ui.boxes[0].caption, "Retrieve Error Log");
    EXPECT_EQ(ui.boxes[0].flags, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_EQ(rowsAfter, answer == IDYES ? 0u : 2u);
    EXPECT_EQ(log.GetCount(), 4);
    // The entries are still there to copy.
    EXPECT_EQ(ui.clipboard.rfind(kShortBlock, 0), 0u);
  }
}

using ErrorDetailDlg = Fixture;

TEST_F(ErrorDetailDlg, RowsFollowTheNumberRangeAndFormat) {
  struct Case {
    DWORD number;
    WORD format;
    const char* row6;
    const char* row7;
    size_t rows;
  };
  const Case cases[] = {
      {0x70080000, 2, "Type", "Version", 9},     {0x7009FFFF, 2, "Type", "Version", 9},
      {0x700A0000, 2, "PC", "Data Address", 9},  {0x7007FFFF, 2, "PC", "Data Address", 9},
      // Long: stack pointer, traces 5 and 9 (stopping at 0), three user bytes.
      {0x11, 3, "PC", "Data Address", 9 + 1 + 2 + 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    auto e = Entry(c.number, CErrorLogEntry::kStateValid, c.format);
    const DWORD traces[10] = {5, 9, 0, 7, 1, 1, 1, 1, 1, 1};
    std::copy(std::begin(traces), std::end(traces), e->m_trace);
    e->m_nUserDataLength = 3;
    e->m_userData[0] = 0xAB;
    CErrorDetailDlg dlg(*e);
    afx::Control list;
    std::string version, date;
    ui.onDialog = [&](CDialog& d) {
      list = *d.FindControl(CErrorDetailDlg::IDC_LIST);
      CString text;
      d.GetDlgItemText(CErrorDetailDlg::IDC_VERSION, text);
      version = text;
      d.GetDlgItemText(CErrorDetailDlg::IDC_DATE, text);
      date = text;
    };
    dlg.DoModal();
    EXPECT_EQ(list.columns, (std::vector<std::string>{"Subject", "Information"}));
    ASSERT_EQ(list.items.size(), c.rows);
    EXPECT_EQ(std::vector<std::string>(list.items.begin(), list.items.begin() + 3),
              (std::vector<std::string>{"Error Number", "Time and Date (UTC)", "Up time"}));
    EXPECT_EQ(list.subItems[2][0], "42");
    EXPECT_EQ(list.items[5], c.row6);
    EXPECT_EQ(list.items[6], c.row7);
    EXPECT_EQ(list.items[8], "RR2");
    EXPECT_EQ(version, "4.12");
    EXPECT_EQ(date, "3/7/2016");
    if (c.format == 3) {
      EXPECT_EQ(std::vector<std::string>(list.items.begin() + 9, list.items.begin() + 13),
                (std::vector<std::string>{"Stack Pointer", "Trace 0", "Trace 1", "Offset 0"}));
      EXPECT_EQ(list.subItems[11][0], "0x00000009");
      EXPECT_EQ(list.subItems[12][0], "0x000000AB");
    }
  }
}

TEST_F(ErrorDetailDlg, CopyGivesTheBlockWithoutSeparator) {
  auto e = Entry(0x11, CErrorLogEntry::kStateValid, CErrorLogEntry::kLongFormat);
  e->m_trace[0] = 5;
  e->m_trace[1] = 0;
  e->m_nUserDataLength = 200;  // more than the record holds: 40 are shown
  e->m_nWeek = 0xFFFF;
  CErrorDetailDlg dlg(*e);
  ui.onDialog = [](CDialog& d) { d.SendCommand(CErrorDetailDlg::IDC_COPY, BN_CLICKED); };
  dlg.DoModal();
  std::string expected = std::string(kShortBlock).replace(std::string(kShortBlock).find("1/6/1980 0:00:00"), 16, "N/A");
  expected += "Stack Pointer: 0x2000FFF0\r\nTrace 0: 0x00000005\r\nUser Data:\r\n";
  for (int i = 0; i < 40; ++i) expected += " Offset " + std::to_string(i) + ": 0x000000FF\r\n";
  EXPECT_EQ(ui.clipboard, expected);
}

}  // namespace
