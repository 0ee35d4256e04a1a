// The error-log viewer and the detail dialog: which entries are listed,
// the rows, the clipboard texts, Clear and the double click.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

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

// The list by mode and diagnostic flag; Clear asks and empties only the list,
// so that Copy all still takes every entry the mode shows.
TEST_F(ErrorLogDlg, ListsCopiesAndClears) {
  const std::string first = "Startup Error:\t0x00000011  At time: 1/6/1980 0:00:00 UTC";
  const std::string deleted = "Startup Error:\t0x00000012  At time: 1/6/1980 0:00:00 UTC  * DELETED *";
  const std::string last = "Startup Error:\t0x00000014  At time: Not Available";
  std::string both = kShortBlock;
  both += "\r\n" + both + "\r\n";
  both.replace(both.rfind("0x00000011"), 10, "0x00000014").replace(both.rfind("1/6/1980 0:00:00"), 16, "N/A");
  const struct {
    bool application, diagnostic;
    int answer;  // to the question Clear asks; 0: not pressed
    std::vector<std::string> lines;
    size_t rowsAfter;
  } cases[] = {
      {true, false, 0, {first, last}, 2},
      {true, false, IDNO, {first, last}, 2},
      {true, false, IDYES, {first, last}, 0},
      {false, false, 0, {first, last}, 2},
      {false, true, 0, {first, deleted, last}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.application << c.diagnostic << c.answer);
    ui.boxes.clear();
    ui.answers = {c.answer};
    ui.clipboard.clear();
    CErrorLogDlg dlg(nullptr, log, c.application, c.diagnostic);
    std::vector<std::string> seen;
    bool clearShown = false, textShown = false;
    size_t rowsAfter = 99;
    ui.onDialog = [&](CDialog& d) {
      const afx::Control* list = d.FindControl(CErrorLogDlg::IDC_LIST);
      seen = list->items;
      clearShown = d.FindControl(CErrorLogDlg::IDC_CLEAR)->visible;
      textShown = d.FindControl(CErrorLogDlg::IDC_CLEAR_TEXT)->visible;
      ASSERT_EQ(list->itemData.size(), seen.size());
      EXPECT_EQ(reinterpret_cast<CErrorLogEntry*>(list->itemData[0]), log.GetAt(0));
      if (c.answer) d.SendCommand(CErrorLogDlg::IDC_CLEAR, BN_CLICKED);
      rowsAfter = d.FindControl(CErrorLogDlg::IDC_LIST)->items.size();
      d.SendCommand(CErrorLogDlg::IDC_COPY_ALL, BN_CLICKED);
    };
    dlg.DoModal();
    EXPECT_EQ(seen, c.lines);
    EXPECT_EQ(std::make_pair(clearShown, textShown), std::make_pair(c.application, c.application));
    EXPECT_EQ(rowsAfter, c.rowsAfter);
    EXPECT_EQ(log.GetCount(), 4);
    if (!c.diagnostic) {
      EXPECT_EQ(ui.clipboard, both);
    }
    ASSERT_EQ(ui.boxes.size(), c.answer ? 1u : 0u);
    if (c.answer) {
      EXPECT_EQ(ui.boxes[0].text, AfxLoadString(260));
      EXPECT_EQ(ui.boxes[0].caption, "Retrieve Error Log");
      EXPECT_EQ(ui.boxes[0].flags, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    }
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
    CString version, date;
    ui.onDialog = [&](CDialog& d) {
      list = *d.FindControl(CErrorDetailDlg::IDC_LIST);
      d.GetDlgItemText(CErrorDetailDlg::IDC_VERSION, version);
      d.GetDlgItemText(CErrorDetailDlg::IDC_DATE, date);
    };
    dlg.DoModal();
    EXPECT_EQ(list.columns, (std::vector<std::string>{"Subject", "Information"}));
    ASSERT_EQ(list.items.size(), c.rows);
    EXPECT_EQ(std::vector<std::string>(list.items.begin(), list.items.begin() + 3),
              (std::vector<std::string>{"Error Number", "Time and Date (UTC)", "Up time"}));
    EXPECT_EQ(std::make_tuple(list.subItems[2][0], list.items[5], list.items[6], list.items[8], version, date),
              std::make_tuple("42", c.row6, c.row7, "RR2", "4.12", "3/7/2016"));
    if (c.format == 3) {
      EXPECT_EQ(std::vector<std::string>(list.items.begin() + 9, list.items.begin() + 13),
                (std::vector<std::string>{"Stack Pointer", "Trace 0", "Trace 1", "Offset 0"}));
      EXPECT_EQ(std::make_tuple(list.subItems[11][0], list.subItems[12][0]),
                std::make_tuple("0x00000009", "0x000000AB"));
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
