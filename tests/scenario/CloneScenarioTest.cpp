// "Upload clone file" against the virtual receiver: the transfer in chunks,
// the activation states, and what the receiver holds afterwards.
#include <gtest/gtest.h>

#include "operations/UploadCloneFileOperation.h"
#include "support/SimScenario.h"

namespace {

using Op = CUploadCloneFileOperation;

std::vector<std::uint8_t> Bytes(size_t n) {
  std::vector<std::uint8_t> d(n);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<std::uint8_t>('a' + i % 26);
  return d;
}

void Choose(Op& op, const std::string& path, bool install, bool reset = false, bool ip = false, bool wifi = false) {
  op.GetPage().m_strPath = path;
  op.GetPage().m_bInstall = install;
  op.GetPage().m_bReset = reset;
  op.GetPage().m_bInstallIP = ip;
  op.GetPage().m_bInstallWiFi = wifi;
}

TEST(CloneMessages, BytesOfEachMessage) {
  const std::string name20 = "abcdefghijklmnopqrst";
  EXPECT_EQ(Op::StartMessage(0, "x"), (std::vector<BYTE>{3, 0, 0, 0, 0, 1, 'x'}));
  EXPECT_EQ(Op::StartMessage(0x012345, name20).size(), 26u);
  EXPECT_EQ(Op::StartMessage(0x012345, name20)[2], 0x01);
  EXPECT_EQ(Op::StartMessage(0x012345, name20)[4], 0x45);
  const auto activation = Op::ActivationMessage(name20, true, false, true);
  ASSERT_EQ(activation.size(), 29u);
  EXPECT_EQ(activation[1], 24);
  EXPECT_EQ(std::string(activation.begin() + 22, activation.begin() + 26), ".xml");
  EXPECT_EQ((std::vector<BYTE>(activation.end() - 3, activation.end())), (std::vector<BYTE>{1, 0, 1}));
  const BYTE chunk[2] = {9, 8};
  EXPECT_EQ(Op::ChunkMessage(480, chunk, 2), (std::vector<BYTE>{3, 1, 0, 1, 0xE0, 9, 8}));
  EXPECT_EQ(Op::EndMessage(), (std::vector<BYTE>{3, 2, 0}));
  const std::pair<const char*, const char*> names[] = {
      {"/a/b/site.xml", "site"}, {"C:\\clones\\x.y.xml", "x.y"}, {"plain", "plain"}, {"/dir.v2/file", "file"}};
  for (const auto& [path, base] : names) EXPECT_EQ(Op::BaseName(path), base) << path;
}

TEST(CloneScenario, TransfersInChunksOf240) {
  for (const size_t size : {0u, 1u, 240u, 481u}) {
    SCOPED_TRACE(size);
    test::SimScenario s;
    const auto content = Bytes(size);
    Op op;
    Choose(op, s.Dir().Write("site.xml", content), false);
    EXPECT_EQ(s.Run(op), 1);
    const auto& files = s.Receiver().CloneFiles();
    ASSERT_EQ(files.count("site"), 1u);
    EXPECT_EQ(files.at("site"), content);
    EXPECT_TRUE(s.Receiver().Activations().empty());
    EXPECT_EQ(s.window.LastStatus(), "The clone file was uploaded and activated successfully.");
    EXPECT_EQ(s.window.Text(), "Upload Clone File ");
    // The reset frame restarts the application at the end.
    s.Settle(1000);
    EXPECT_EQ(s.Receiver().Restarts(), 1);
  }
}

TEST(CloneScenario, ActivationStatesEndTheRun) {
  std::string working = "1";  // more than sixty polls in progress still succeed
  for (int i = 1; i < 64; ++i) working += ", 1";
  struct Case {
    std::string activation;
    int result;
    const char* message;  // nullptr: success
  };
  const Case cases[] = {
      {working, 1, nullptr},
      {"1, 1, 0", 1, nullptr},
      {"0", 1, nullptr},
      {"1, 2", 0, "because receiver is running out of memory."},
      {"3", 0, "found the selected clone file is not valid."},
      {"1, 4", 0, "failed because receiver can not open it."},
      {"0xFF", 0, "due to an unknown error."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.activation);
    test::SimScenario s("clone.activation = " + c.activation + "\n");
    Op op;
    const std::string path = s.Dir().Write("base.xml", Bytes(300));
    Choose(op, path, true, true, false, true);
    char summary[512] = {};
    ASSERT_TRUE(op.GetText(TEXT_SUMMARY, summary, sizeof summary - 1));
    EXPECT_EQ(summary, "Operation to perform:\r\n\tUpload clone file\r\n\r\nUpload clone file:\r\n\t" + path);
    EXPECT_EQ(s.Run(op), c.result);
    ASSERT_EQ(s.Receiver().Activations().size(), 1u);
    const auto& a = s.Receiver().Activations()[0];
    EXPECT_EQ(a.name, "base.xml");
    EXPECT_TRUE(a.resetFirst);
    EXPECT_FALSE(a.installIp);
    EXPECT_TRUE(a.installWifi);
    if (c.message) {
      EXPECT_TRUE(s.OneBoxWith(c.message));
    } else {
      EXPECT_TRUE(s.HasStatus("Activate uploaded clone file completed."));
      EXPECT_TRUE(s.ui.boxes.empty());
    }
    if (c.activation == working) {  // progress climbs in steps of 20 while the receiver works
      const auto& pr = s.window.progress;
      EXPECT_NE(std::find(pr.begin(), pr.end(), 80), pr.end());
    }
  }
}

TEST(CloneScenario, FailuresBeforeAndDuringTheTransfer) {
  struct Case {
    const char* name;
    const char* profile;
    bool missingFile;
    const char* message;  // in the one box
  };
  const Case cases[] = {
      {"no file", "", true, "Failed to open the selected clone file. Please check its existance."},
      {"start refused", "clone.accept = false\n", false,
       "Failed to start uploading process. Reboot the receiver, then retry."},
      {"chunk unanswered", "fault = silence n=3 type=0xB9 count=0\n", false,
       "Encountered an communication error when transfering the clone file to the receier.Please power cycle the "
       "receiver, then retry."},
      {"chunk refused", "clone.refuse_chunk = 1\n", false,
       "Encountered an communication error when transfering the clone file to the receier.Please power cycle the "
       "receiver, then retry."},
      {"end unanswered", "fault = silence n=4 type=0xB9 count=0\n", false,
       "Encountered an error when sending the last clone file uploading command to the receiver. Please make sure the "
       "clone file is valid."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimScenario s(c.profile);
    Op op;
    const std::string path =
        c.missingFile ? s.Dir().File("gone.xml") : s.Dir().Write("base.xml", Bytes(300));
    Choose(op, path, false);
    EXPECT_EQ(s.Run(op), 0);
    EXPECT_TRUE(s.OneBoxWith(c.message));
    EXPECT_TRUE(s.Receiver().CloneFiles().empty());
  }
}

TEST(CloneScenario, AMonitorIsNotAnApplication) {
  test::SimScenario s("mode = monitor\n");
  Op op;
  Choose(op, s.Dir().Write("base.xml", Bytes(3)), false);
  EXPECT_EQ(s.Run(op), 2);
  ASSERT_EQ(s.ui.boxes.size(), 1u);
  EXPECT_EQ(s.ui.boxes[0].text.rfind("Invalid Device!\n\nTalvern detected a Korvane product on COM7 that", 0), 0u);
  EXPECT_EQ(s.ui.boxes[0].flags, MB_SETFOREGROUND);
  EXPECT_EQ(s.ui.boxes[0].caption, AfxGetStaticModuleState()->m_pszAppName);
  EXPECT_TRUE(s.Receiver().CloneFiles().empty());
}

}  // namespace
