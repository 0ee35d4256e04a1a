// The error log's summary lines, with Clear (application mode only),
// Copy All, and the details of an entry on a double click.
#pragma once
#include "afx/Dialog.h"
#include "operations/ErrorLogMgr.h"

class CGarnexInterface;

class CErrorLogDlg : public CDialog {
 public:
  static constexpr UINT IDD = 138;
  static constexpr int IDC_CLEAR = 1040;
  static constexpr int IDC_LIST = 1041;
  static constexpr int IDC_CLEAR_TEXT = 1061;
  static constexpr int IDC_COPY_ALL = 1073;

  // `device` may be null when the log was not read from a live application.
  CErrorLogDlg(CGarnexInterface* device, CErrorLogMgr& log, bool applicationMode, bool diagnostic,
               CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  BOOL OnCommand(UINT id, UINT code) override;
  void OnClear();
  void OnCopyAll();
  void OnOpenDetails();

  // Whether the viewer lists `entry` (live, or deleted in diagnostic mode).
  static bool IsShown(const CErrorLogEntry& entry, bool diagnostic);

 private:
  CGarnexInterface* m_pDevice;
  CErrorLogMgr& m_log;
  bool m_bApplicationMode;
  bool m_bDiagnostic;
};
