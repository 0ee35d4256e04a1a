// The wizard page on which the user picks the firmware to load: the
// catalogue's files for one device type, narrowed to the platform of the
// receiver on the last-used COM port, the newest file preselected. Insert
// registers a file, Delete unregisters and deletes one, a double click acts
// as Next. The page also holds the "turn off outputs" choice.
#pragma once
#include "afx/PropertyPage.h"
#include "afx/String.h"
#include "firmware/FirmwareEntryManager.h"

class CUpdatePage : public CPropertyPage {
 public:
  static constexpr UINT IDD = 130;
  static constexpr int IDC_LIST = 1002;
  static constexpr int IDC_HEADING = 1079;
  static constexpr int IDC_PICTURE = 1015;
  static constexpr int IDC_TURN_OFF_OUTPUTS = 1080;
  static constexpr UINT kBitmapId = 129;
  // The heading is read into a buffer of this many characters (terminator included).
  static constexpr int kHeadingBuffer = 50;
  static constexpr UINT kVkDelete = 0x2E;
  static constexpr UINT kVkInsert = 0x2D;

  // `deviceTypeId` names the catalogue's device type, `filterId` the file
  // chooser's filter of the registration dialog.
  CUpdatePage(UINT deviceTypeId, UINT filterId);

  // The catalogue entry at the current selection; null when there is none.
  const char* GetSelectedDescription() const;
  const char* GetSelectedFirmwarePath() const;

  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;
  // A host that shows this page last finishes from it: the same checks apply.
  BOOL OnWizardFinish() override { return OnWizardNext() == 0; }
  BOOL OnCommand(UINT id, UINT code) override;
  int OnVKeyToItem(UINT key, int listId, UINT caretIndex) override;

  // Reloads the catalogue, fills the list and preselects the newest file.
  virtual void InitializeListBox();
  // Asks, deletes the entry's file and unregisters it.
  virtual void RemoveEntry(int index);
  // Registers a file chosen in the registration dialog, copying it into the
  // firmware folder unless it already lies there.
  virtual void AddEntry();

  const CString& GetProductName() const { return m_strProductName; }
  const CString& GetDeviceType() const { return m_strDeviceType; }
  int GetSelection() const { return m_nSelection; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;

 private:
  // Asks the receiver on `com` for its product name; empty on any failure,
  // after the failure's message.
  void IdentifyReceiver(UINT com);

  CListBox m_list;
  int m_nSelection = 0;
  CStatic m_heading;
  FirmwareEntryManager m_catalogue;
  CString m_strRemovePrompt;
  CString m_strRemoveFailure;
  CString m_strAddFailure;
  CString m_strNoSelection;
  CString m_strDeviceType;
  CString m_strFileFilter;
  CString m_strCopyFailure;
  CString m_strProductName;
  AFX_MODULE_STATE* m_pResourceModule;
  UINT m_nBitmap = kBitmapId;
};
