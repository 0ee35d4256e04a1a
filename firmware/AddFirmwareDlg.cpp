#include "firmware/AddFirmwareDlg.h"

#include <cctype>

#include "afx/FileDialog.h"
#include "afx/Format.h"
#include "device/GarnexEmbeddedInfo.h"
#include "firmware/GarnexFlashFileMgr.h"
#include "firmware/LSFlashFileException.h"

namespace {

constexpr UINT IDS_EMPTY_FIELDS = 154;
constexpr UINT IDS_INVALID_FILE = 155;

bool IsDigits(const std::string& s) {
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
}

}  // namespace

CAddFirmwareDlg::CAddFirmwareDlg(const char* filter, CWnd* parent)
    : CDialog(IDD, parent),
      filter_(filter),
      invalidFileText_(AfxLoadString(IDS_INVALID_FILE)),
      emptyFieldsText_(AfxLoadString(IDS_EMPTY_FIELDS)) {}

void CAddFirmwareDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Text(pDX, IDC_DESCRIPTION, description_);
  DDX_Text(pDX, IDC_PATH, path_);
}

BOOL CAddFirmwareDlg::OnCommand(UINT id, UINT code) {
  if (id == IDC_BROWSE && code == BN_CLICKED) {
    OnBrowse();
    return TRUE;
  }
  if (id == IDC_PATH && code == EN_KILLFOCUS) {
    SuggestDescription();
    return TRUE;
  }
  return CDialog::OnCommand(id, code);
}

CString CAddFirmwareDlg::DescriptionFromPath(const char* path) {
  const std::string p = path ? path : "";
  const size_t slash = p.find_last_of("/\\");
  const std::string file = slash == std::string::npos ? p : p.substr(slash + 1);
  const size_t dot = file.find_last_of('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == file.size()) return "";
  std::string s = file.substr(0, dot);

  // "romV480" reads as "rom V480".
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    if (s[i] == 'V' && std::islower(static_cast<unsigned char>(s[i - 1])) &&
        std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
      s.insert(i, "_");
      ++i;
    }
  }
  ReplaceAll(s, "beta", "_beta_");
  ReplaceAll(s, "Beta", "_beta_");
  ReplaceAll(s, "alpha", "_alpha_");
  ReplaceAll(s, "Alpha", "_alpha_");

  std::string out;
  size_t start = 0;
  while (start < s.size()) {
    const size_t end = s.find_first_of("_ ", start);
    std::string token = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? s.size() : end + 1;
    if (token.empty()) continue;
    token[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(token[0])));
    if (!out.empty()) out += ' ';
    if (token.size() == 4 && token[0] == 'V' && IsDigits(token.substr(1)))
      out += token.substr(0, 2) + "." + token.substr(2);  // V480 -> V4.80
    else if (token.size() == 3 && IsDigits(token))
      out += token.substr(0, 1) + "." + token.substr(1);  // 480 -> 4.80
    else
      out += token;
  }
  return out;
}

void CAddFirmwareDlg::SuggestDescription() {
  CString description, path;
  GetDlgItemText(IDC_DESCRIPTION, description);
  GetDlgItemText(IDC_PATH, path);
  if (!description.IsEmpty() || path.IsEmpty()) return;
  const CString suggested = DescriptionFromPath(path);
  if (suggested.IsEmpty()) return;
  SetDlgItemText(IDC_DESCRIPTION, suggested);
  if (CWnd* edit = GetDlgItem(IDC_DESCRIPTION)) edit->SetSel(0, -1);
}

void CAddFirmwareDlg::OnBrowse() {
  UpdateData(TRUE);
  CFileDialog chooser(TRUE, nullptr, path_, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, filter_, this);
  INT_PTR result = chooser.DoModal();
  if (result != IDOK && chooser.GetExtendedError() == FNERR_INVALIDFILENAME) {
    // The typed path is no file name; let the chooser start in it as a folder instead.
    chooser.SetInitialName("");
    chooser.SetInitialDir(path_);
    result = chooser.DoModal();
  }
  if (result != IDOK) return;
  path_ = chooser.GetPathName();
  UpdateData(FALSE);
  SuggestDescription();
}

void CAddFirmwareDlg::OnOK() {
  if (!UpdateData(TRUE)) return;
  if (description_.IsEmpty() || path_.IsEmpty()) {
    MessageBox(emptyFieldsText_, nullptr, MB_ICONEXCLAMATION);
    return;
  }
  signature_.Empty();
  try {
    CGarnexFlashFileMgr manager(path_);
    CLSFlashFile* file = manager.GetFile();
    file->Verify();  // only a failure to check counts here, not the verdict
    if (manager.IsContainer()) {
      CGarnexEmbeddedInfo record;
      file->ReadEmbeddedInfo(record);
      signature_ = record.GetName().Left(7);
    }
    file->Close();
  } catch (const CLSFlashFileException& e) {
    // A file without a readable identity record is registered without a signature.
    if (e.GetCode() != 852) {
      MessageBox(FormatText(invalidFileText_, path_.c_str()), nullptr, MB_ICONEXCLAMATION);
      return;
    }
  } catch (const CFileException&) {
    MessageBox(FormatText(invalidFileText_, path_.c_str()), nullptr, MB_ICONEXCLAMATION);
    return;
  }
  EndDialog(IDOK);
}
