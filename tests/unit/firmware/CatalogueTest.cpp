// The firmware catalogue in a temporary registry file, the file opener and
// the registration dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "afx/Registry.h"
#include "device/ModelTable.h"
#include "firmware/AddFirmwareDlg.h"
#include "firmware/FirmwareEntryManager.h"
#include "firmware/GarnexElfFile.h"
#include "firmware/GarnexFlashFileMgr.h"
#include "firmware/GarnexSRecFile.h"
#include "firmware/HopsaFile.h"
#include "firmware/LSFlashFileException.h"
#include "firmware/QMRBladeFWFile.h"
#include "firmware/TimgFile.h"
#include "plugin/GarnexApp.h"
#include "support/FirmwareImages.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/Throws.h"

namespace {

using namespace testsupport;

class Catalogue : public testing::Test {
 protected:
  void SetUp() override { afx::SetRegistryPath(dir_.File("registry.reg")); }
  void TearDown() override { afx::SetRegistryPath(""); }

  // Writes an entry key below `root` value by value, so that tests can store odd types.
  struct Value {
    const char* name;
    DWORD type;
    std::string text;
    DWORD number = 0;
  };
  void PutKey(const std::string& name, const std::vector<Value>& values,
              const char* root = FirmwareEntryManager::kRootPath) {
    HKEY key = nullptr;
    const std::string path = std::string(root) + "\\" + name;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const Value& v : values) {
      if (v.type == REG_DWORD)
        RegSetValueEx(key, v.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v.number), sizeof v.number);
      else
        RegSetValueEx(key, v.name, 0, v.type, reinterpret_cast<const BYTE*>(v.text.c_str()),
                      static_cast<DWORD>(v.text.size() + 1));
    }
    RegCloseKey(key);
  }
  void PutEntry(const std::string& name, const std::string& file, const char* device = "QZ710",
                const char* fwsig = nullptr, const char* root = FirmwareEntryManager::kRootPath) {
    std::vector<Value> values = {{"Description", REG_SZ, name},
                                 {"FirmwarePath", REG_SZ, file},
                                 {"DeviceType", REG_SZ, device},
                                 {"OriginalInstall", REG_DWORD, "", 0}};
    if (fwsig) values.push_back({"FWSIG", REG_SZ, fwsig});
    PutKey(name, values, root);
  }
  bool KeyExists(const std::string& name, const char* root = FirmwareEntryManager::kRootPath) {
    HKEY key = nullptr;
    const std::string path = std::string(root) + "\\" + name;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  std::vector<std::string> Names(const FirmwareEntryManager& m) {
    std::vector<std::string> names;
    for (int i = 0; i < m.GetCount(); ++i) names.push_back(m.GetAt(i)->GetKeyName());
    return names;
  }
  std::string File(const std::string& name) { return WriteFile(dir_.File(name), Bytes{1, 2, 3}); }

  TempDir dir_;
};

TEST_F(Catalogue, InvalidKeysAreDeletedWithoutSkippingTheNext) {
  const std::string file = File("fw.timg");
  const std::string gone = File("gone.timg");
  std::remove(gone.c_str());
  PutEntry("A good", file);
  PutEntry("B file deleted", gone);
  // C, D and F are good entries with one value of the wrong kind written over.
  PutEntry("C install as text", file);
  PutKey("C install as text", {{"OriginalInstall", REG_SZ, "0"}});
  PutEntry("D empty description", file);
  PutKey("D empty description", {{"Description", REG_SZ, ""}});
  PutKey("E no install value", {{"Description", REG_SZ, "E"}, {"FirmwarePath", REG_SZ, file}, {"DeviceType", REG_SZ, "QZ710"}});
  PutEntry("F device as number", file);
  PutKey("F device as number", {{"DeviceType", REG_DWORD, "", 710}});
  PutEntry("G good", file);
  PutEntry("H also gone", gone);

  FirmwareEntryManager m;
  m.RetrieveFirmwareFiles(nullptr, "");
  EXPECT_EQ(Names(m), (std::vector<std::string>{"A good", "G good"}));
  for (const char* name : {"B file deleted", "C install as text", "D empty description", "E no install value",
                           "F device as number", "H also gone"})
    EXPECT_FALSE(KeyExists(name)) << name;
  EXPECT_TRUE(KeyExists("A good"));
  EXPECT_TRUE(m.GetAt(2) == nullptr && m.GetAt(-1) == nullptr);
  const FirmwareEntry* a = m.GetAt(0);
  EXPECT_EQ(std::make_tuple(a->GetDescription(), a->GetFirmwarePath(), a->GetDeviceType(), a->GetFWSIG(),
                            a->GetOriginalInstall()),
            std::make_tuple("A good", file, "QZ710", "", 0u));
}

TEST_F(Catalogue, DeviceAndPlatformFilters) {
  const std::string file = File("fw.timg");
  const CString kelvor = CModelTable::GetPlatformName(100);  // QZ710's platform
  const CString peldra = CModelTable::GetPlatformName(242);
  ASSERT_NE(kelvor, peldra);
  PutEntry("plain", file);
  PutEntry("radio", file, "QZ710R");
  PutEntry("lower", file, "qz710");
  PutEntry("for QZ710", file, "QZ710", kelvor);
  PutEntry("for QZ774", file, "QZ710", peldra);
  PutEntry("unknown platform", file, "QZ710", "NOPLAT ");
  PutEntry("platform without padding", file, "QZ710", "KELVOR");

  const struct {
    const char* device;
    const char* product;
    std::vector<std::string> listed;
  } cases[] = {
      {"QZ710", "QZ710", {"plain", "for QZ710", "unknown platform", "platform without padding"}},
      {"QZ710", "QZ774", {"plain", "for QZ774", "unknown platform", "platform without padding"}},
      {"QZ710", "", {"plain", "for QZ710", "for QZ774", "unknown platform", "platform without padding"}},
      {"QZ710R", "QZ710", {"radio"}},
      {nullptr, "QZ710", {"plain", "radio", "lower", "for QZ710", "unknown platform", "platform without padding"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.device ? c.device : "(any)") + " / " + c.product);
    FirmwareEntryManager m;
    m.RetrieveFirmwareFiles(c.device, c.product);
    std::vector<std::string> names = Names(m);
    std::vector<std::string> expected = c.listed;
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
  }
}

TEST_F(Catalogue, UnknownProductSearchesForCodeZero) {
  // An unknown name gives code 0, and "0," is found inside any code ending in 0.
  const CString withTen = CModelTable::GetPlatformName(240);  // ORVANT: ..."240,"...
  const CString signature = FirmwareEntryManager::SignatureCodes(withTen);
  ASSERT_NE(signature.find("240,"), std::string::npos);
  const CString withoutZero = CModelTable::GetPlatformName(0x35);  // HOLMAR rows
  const CString holmar = FirmwareEntryManager::SignatureCodes(withoutZero);
  ASSERT_EQ(holmar.find("0,"), std::string::npos) << holmar;

  const std::string file = File("fw.timg");
  PutEntry("ends in zero", file, "QZ710", withTen);
  PutEntry("no zero", file, "QZ710", withoutZero);
  FirmwareEntryManager m;
  m.RetrieveFirmwareFiles("QZ710", "NOT A RECEIVER");
  EXPECT_EQ(Names(m), (std::vector<std::string>{"ends in zero"}));
  EXPECT_EQ(FirmwareEntryManager::SignatureCodes("NOPLAT "), "");
  const CString istrav = FirmwareEntryManager::SignatureCodes(CModelTable::GetPlatformName(0x3E));
  EXPECT_TRUE(istrav.find("62,") != std::string::npos && istrav.find("66,") != std::string::npos) << istrav;
  EXPECT_EQ(istrav.back(), ',');
}

TEST_F(Catalogue, AddRemoveAndFallbackRoot) {
  const std::string file = File("fw.timg");
  FirmwareEntryManager m;
  DWORD error = 77;
  // No root yet: nothing loads, and adding needs the root.
  m.RetrieveFirmwareFiles(nullptr, "");
  EXPECT_EQ(m.GetCount(), 0);
  EXPECT_FALSE(m.AddFirmwareEntry(FirmwareEntry("fw", "QZ710", file.c_str(), "fw", 0), error));
  EXPECT_NE(error, 0u);

  PutEntry("old", file, "QZ710", nullptr, FirmwareEntryManager::kFallbackRootPath);
  m.RetrieveFirmwareFiles(nullptr, "");
  EXPECT_EQ(Names(m), (std::vector<std::string>{"old"}));
  ASSERT_TRUE(m.AddFirmwareEntry(FirmwareEntry("Fw V4.80", "QZ710", file.c_str(), "Fw V4.80", "KELVOR ", 0), error));
  EXPECT_TRUE(KeyExists("Fw V4.80", FirmwareEntryManager::kFallbackRootPath));

  PutEntry("new", file);  // the ordinary root now exists and wins
  m.RetrieveFirmwareFiles(nullptr, "");
  EXPECT_EQ(Names(m), (std::vector<std::string>{"new"}));
  ASSERT_TRUE(m.AddFirmwareEntry(FirmwareEntry("Fw V4.80", "QZ710", file.c_str(), "Fw V4.80", "KELVOR ", 3), error));
  ASSERT_TRUE(m.AddFirmwareEntry(FirmwareEntry("Fw V4.80", "QZ710", file.c_str(), "Fw V4.80", 0), error))
      << "the same description overwrites";
  m.RetrieveFirmwareFiles(nullptr, "");
  ASSERT_EQ(m.GetCount(), 2);
  const FirmwareEntry* e = m.GetAt(0)->GetKeyName() == "Fw V4.80" ? m.GetAt(0) : m.GetAt(1);
  EXPECT_EQ(std::make_tuple(e->GetFWSIG(), e->GetOriginalInstall()), std::make_tuple("", 0u));

  error = 77;
  EXPECT_FALSE(m.AddFirmwareEntry(FirmwareEntry("x", "QZ710", dir_.File("missing.timg").c_str(), "x", 0), error));
  EXPECT_EQ(error, 0u);
  EXPECT_FALSE(KeyExists("x"));

  EXPECT_TRUE(m.RemoveFirmwareEntry("new", error));
  EXPECT_FALSE(KeyExists("new"));
  EXPECT_FALSE(m.RemoveFirmwareEntry("new", error));
  EXPECT_NE(error, 0u);
  m.Clear();
  EXPECT_EQ(m.GetCount(), 0);
}

TEST_F(Catalogue, FileManagerChoosesTheClass) {
  const Bytes hopsa = HopsaImage(Pattern(100));
  const Bytes timg = TimgImage({{2, 4, 30, 0x10000, WithBlock(Pattern(64))}});
  const Bytes elf = ElfImage({{1, 5, 0x1000, Pattern(64)}});
  std::string srec;
  for (int i = 0; i < 6; ++i) srec += SRecordLine(1, 0x100 + 4 * i, Pattern(4)) + "\n";

  enum Kind { Hopsa, Timg, Opaque, Elf, SRec };
  const struct {
    const char* name;
    Bytes content;
    Kind kind;
    bool container;
    UINT error;
  } cases[] = {
      {"a.img", hopsa, Hopsa, true, 0},
      {"A.IMG", hopsa, Hopsa, true, 0},
      {"a.timg", timg, Timg, true, 0},
      {"a.bin", Pattern(10), Opaque, false, 0},
      {"a.tix", {}, Opaque, false, 0},
      {"a.axf", Pattern(10), Opaque, false, 0},
      {"a.out", elf, Elf, false, 0},
      {"noext", elf, Elf, false, 0},
      {"a.s19", Bytes(srec.begin(), srec.end()), SRec, false, 0},
      {"a.hex", Pattern(300), SRec, false, 865},
      {"dir.x/a", Bytes(srec.begin(), srec.end()), SRec, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.name).find('/') != std::string::npos) std::filesystem::create_directories(dir_.File("dir.x"));
    const std::string path = WriteFile(dir_.File(c.name), c.content);
    try {
      CGarnexFlashFileMgr m(path.c_str());
      ASSERT_EQ(c.error, 0u);
      CLSFlashFile* f = m.GetFile();
      ASSERT_NE(f, nullptr);
      EXPECT_EQ(m.IsContainer(), c.container);
      switch (c.kind) {
        case Hopsa: EXPECT_NE(dynamic_cast<CHopsaFile*>(f), nullptr); break;
        case Timg: EXPECT_NE(dynamic_cast<CTimgFile*>(f), nullptr); break;
        case Opaque: EXPECT_EQ(f->GetLength(), c.content.size()); break;
        case Elf: EXPECT_NE(dynamic_cast<CGarnexElfFile*>(f), nullptr); break;
        case SRec: EXPECT_NE(dynamic_cast<CGarnexSRecFile*>(f), nullptr); break;
      }
    } catch (const CLSFlashFileException& e) {
      EXPECT_EQ(e.GetCode(), c.error);
    }
  }
  EXPECT_EQ(CodeOf<CLSFlashFileException>([&] { CGarnexFlashFileMgr m(dir_.File("missing.timg").c_str()); }), 853u);
}

class AddFirmwareDialog : public Catalogue {
 protected:
  AFX_MAINTAIN_STATE module_{AfxGetStaticModuleState()};
  ScriptedUi ui_;
  ScopedUi scope_{ui_};
};

TEST(AddFirmwareDescription, FromFileNames) {
  const struct {
    const char* path;
    const char* description;
  } cases[] = {
      {"C:\\fw\\fw_v480_beta.timg", "Fw V4.80 Beta"},
      {"/fw/romV480.timg", "Rom V4.80"},
      {"/fw/QZ710 480.img", "QZ710 4.80"},
      {"/fw/fwalpha2.timg", "Fw Alpha 2"},
      {"/fw/BetaV123.timg", "Beta V1.23"},
      {"/fw/QZV123.timg", "QZV123"},            // V after a capital letter stays
      {"/fw/V480.timg", "V4.80"},
      {"/fw/v4801.timg", "V4801"},
      {"/fw/a__b  c.bin", "A B C"},
      {"/fw/abcV.timg", "AbcV"},                // V at the end
      {"/fw/xV4a.timg", "X V4a"},
      {"/fw/name.", ""},
      {"/fw/noextension", ""},
      {"/fw/.timg", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CAddFirmwareDlg::DescriptionFromPath(c.path), c.description) << c.path;
}

TEST_F(AddFirmwareDialog, BrowseFillsPathAndDescription) {
  const std::string file = dir_.File("fw_v480_beta.timg");
  struct Case {
    const char* what;
    std::string typedPath;
    std::string typedDescription;
    std::vector<std::string> answers;
    std::string path;
    std::string description;
    size_t choosers;
  };
  const Case cases[] = {
      {"empty description", "", "", {file}, file, "Fw V4.80 Beta", 1},
      {"description kept", "", "Mine", {file}, file, "Mine", 1},
      {"cancelled", "/typed/x.timg", "", {""}, "/typed/x.timg", "", 1},
      {"invalid initial name", "/fw/dir*", "", {"!invalid", file}, file, "Fw V4.80 Beta", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // "" cancels the chooser, "!invalid" refuses the initial name.
    std::vector<std::string> answers = c.answers, initialNames, initialDirs;
    ui_.onFileDialog = [&](CFileDialog& chooser) {
      initialNames.push_back(chooser.InitialName());
      initialDirs.push_back(chooser.InitialDir());
      const std::string answer = answers.empty() ? "" : answers.front();
      if (!answers.empty()) answers.erase(answers.begin());
      if (answer == "!invalid") chooser.SetExtendedError(FNERR_INVALIDFILENAME);
      if (answer.empty() || answer == "!invalid") return false;
      chooser.SetPathName(answer);
      return true;
    };
    CString path, description;
    ui_.onDialog = [&](CDialog& d) {
      d.SetDlgItemText(1008, c.typedPath.c_str());
      d.SetDlgItemText(1011, c.typedDescription.c_str());
      d.SendCommand(1003, BN_CLICKED);
      d.GetDlgItemText(1008, path);
      d.GetDlgItemText(1011, description);
      d.EndDialog(IDCANCEL);
    };
    CAddFirmwareDlg dlg("Firmware (*.timg)|*.timg||");
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(std::make_tuple(path, description), std::make_tuple(c.path, c.description));
    ASSERT_EQ(initialNames.size(), c.choosers);
    EXPECT_EQ(initialNames[0], c.typedPath);
    if (c.choosers == 2) {
      EXPECT_EQ(std::make_tuple(initialNames[1], initialDirs[1]), std::make_tuple("", c.typedPath));
    }
  }
}

TEST_F(AddFirmwareDialog, PathLosingFocusSuggestsDescription) {
  ui_.onDialog = [&](CDialog& d) {
    d.SetDlgItemText(1008, "/fw/romV480.timg");
    d.SendCommand(1008, EN_KILLFOCUS);
    CString text;
    d.GetDlgItemText(1011, text);
    EXPECT_EQ(text, "Rom V4.80");
    d.SetDlgItemText(1008, "/fw/fw_v500.timg");
    d.SendCommand(1008, EN_KILLFOCUS);
    d.GetDlgItemText(1011, text);
    EXPECT_EQ(text, "Rom V4.80") << "a description is never replaced";
    d.EndDialog(IDCANCEL);
  };
  CAddFirmwareDlg dlg("");
  dlg.DoModal();
}

TEST_F(AddFirmwareDialog, OkChecksTheFile) {
  const std::string timg = WriteFile(dir_.File("fw.timg"), TimgImage({{2, 4, 30, 0x10000, WithBlock(Pattern(64))}}));
  const std::string noRecord = WriteFile(dir_.File("none.timg"), TimgImage({}));
  const std::string hopsa = WriteFile(dir_.File("fw.img"), HopsaImage(Pattern(10)));
  const std::string elf = WriteFile(dir_.File("fw.elf"), ElfImage({{1, 5, 0x1000, Pattern(64)}}));
  const std::string junk = WriteFile(dir_.File("junk.dat"), Pattern(100));

  const struct {
    const char* what;
    std::string description;
    std::string path;
    int result;
    std::string signature;
    const char* box;  // part of the box's text, or null
  } cases[] = {
      {"container", "Fw", timg, IDOK, "KELVOR ", nullptr},
      {"flat image", "Fw", hopsa, IDOK, "KELVOR ", nullptr},
      {"container without record", "Fw", noRecord, IDOK, "", nullptr},
      {"executable", "Fw", elf, IDOK, "", nullptr},
      {"no description", "", timg, IDCANCEL, "", "fields has been left empty"},
      {"no path", "Fw", "", IDCANCEL, "", "fields has been left empty"},
      {"not firmware", "Fw", junk, IDCANCEL, "", "firmware file "},
      {"missing", "Fw", dir_.File("gone.timg"), IDCANCEL, "", "firmware file "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui_.boxes.clear();
    ui_.onDialog = [&](CDialog& d) {
      d.SetDlgItemText(1011, c.description.c_str());
      d.SetDlgItemText(1008, c.path.c_str());
      d.SendCommand(IDOK, BN_CLICKED);
      if (!d.IsEnded()) d.EndDialog(IDCANCEL);
    };
    CAddFirmwareDlg dlg("");
    EXPECT_EQ(dlg.DoModal(), c.result);
    EXPECT_EQ(dlg.GetSignature(), c.signature);
    if (c.box) {
      ASSERT_EQ(ui_.boxes.size(), 1u);
      EXPECT_NE(ui_.boxes[0].text.find(c.box), std::string::npos) << ui_.boxes[0].text;
      EXPECT_EQ(ui_.boxes[0].flags & MB_ICONEXCLAMATION, MB_ICONEXCLAMATION);
      if (c.result == IDCANCEL && !c.path.empty() && !c.description.empty()) {
        EXPECT_NE(ui_.boxes[0].text.find(c.path), std::string::npos);
      }
    } else {
      EXPECT_TRUE(ui_.boxes.empty());
      EXPECT_EQ(std::make_tuple(dlg.GetPath(), dlg.GetDescription()), std::make_tuple(c.path, c.description));
    }
  }
}

}  // namespace
