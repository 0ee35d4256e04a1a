// The receiver's codecs against the worked byte examples of the protocols.
#include <gtest/gtest.h>

#include "sim/BreakInfoText.h"
#include "sim/LoaderCodec.h"
#include "sim/ReportCodec.h"

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(ReportCodecTest, EncodesTheKnownFrames) {
  struct Case {
    std::uint8_t type;
    Bytes data;
    Bytes frame;
  } cases[] = {
      {0x6F, Text("TCPBREAK"), {0x02, 0x00, 0x6F, 0x08, 0x54, 0x43, 0x50, 0x42, 0x52, 0x45, 0x41, 0x4B, 0xC3, 0x03}},
      {0x6F, {}, {0x02, 0x00, 0x6F, 0x00, 0x6F, 0x03}},
      {0x87, {}, {0x02, 0x00, 0x87, 0x00, 0x87, 0x03}},
      {0x58, {0xFF, 0x00, 'R', 'E', 'S', 'E', 'T'}, {0x02, 0x00, 0x58, 0x07, 0xFF, 0x00, 0x52, 0x45, 0x53, 0x45, 0x54, 0xE1, 0x03}},
      {0x58, {0xFF, 0x03, 'R', 'E', 'S', 'E', 'T'}, {0x02, 0x00, 0x58, 0x07, 0xFF, 0x03, 0x52, 0x45, 0x53, 0x45, 0x54, 0xE4, 0x03}},
  };
  for (const auto& c : cases) EXPECT_EQ(ReportCodec::Encode(c.type, c.data), c.frame) << int(c.type);
}

TEST(ReportCodecTest, LongFormCarriesTwoLengthBytesInItsChecksum) {
  Bytes data(300, 0x01);
  const Bytes f = ReportCodec::Encode(0x9F, data, true);
  ASSERT_EQ(f.size(), 300u + 7);
  EXPECT_EQ(f[3], 0x01);
  EXPECT_EQ(f[4], 0x2C);
  EXPECT_EQ(f[305], static_cast<std::uint8_t>(0x9F + 0x01 + 0x2C + 300));
  ReportCodec decoder([](std::uint8_t t) { return t == 0x9F; });
  int done = 0;
  for (auto b : f) done += decoder.Feed(b);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(decoder.Frame().data, data);
}

TEST(ReportCodecTest, DecoderSkipsBrokenFramesAndAcceptsEverySplit) {
  const Bytes good = ReportCodec::Encode(0x07, Text("version"));
  Bytes badSum = ReportCodec::Encode(0x07, Text("xx"));
  badSum[badSum.size() - 2] ^= 1;
  Bytes noEtx = ReportCodec::Encode(0x07, Text("yy"));
  noEtx.back() = 0x04;
  Bytes stream{0x55, 0x06};
  for (const Bytes* part : std::initializer_list<const Bytes*>{&badSum, &noEtx, &good}) stream.insert(stream.end(), part->begin(), part->end());
  // Fed in one go or one byte at a time the result is the same: exactly the good frame.
  ReportCodec decoder;
  std::vector<ReportFrame> frames;
  for (auto b : stream)
    if (decoder.Feed(b)) frames.push_back(decoder.Frame());
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].type, 0x07);
  EXPECT_EQ(frames[0].data, Text("version"));
  const Bytes empty = ReportCodec::Encode(0x92, {});
  int n = 0;
  for (auto b : empty) n += decoder.Feed(b);
  EXPECT_EQ(n, 1);
  EXPECT_TRUE(decoder.Frame().data.empty());
}

TEST(LoaderCodecTest, ChecksumAndFramesMatchTheWorkedExamples) {
  // Read memory at 0x00012345, 16 bytes: the sum is 0x84, sent high byte first.
  const Bytes read{0x00, 0x01, 0x23, 0x45, 0x00, 0x10};
  EXPECT_EQ(LoaderCodec::Checksum(5, read), 0x0084);
  EXPECT_EQ(LoaderCodec::Encode(5, read),
            (Bytes{0x02, 0x05, 0x00, 0x06, 0x00, 0x01, 0x23, 0x45, 0x00, 0x10, 0x00, 0x84, 0x03}));
  // An empty reply's checksum is the command itself.
  EXPECT_EQ(LoaderCodec::Encode(4, {}), (Bytes{0x02, 0x04, 0x00, 0x00, 0x00, 0x04, 0x03}));
  // Sums above 0xFFFF keep their low 16 bits.
  EXPECT_EQ(LoaderCodec::Checksum(3, Bytes(300, 0xFF)), static_cast<std::uint16_t>(3 + 1 + 0x2C + 300 * 0xFF));
}

TEST(LoaderCodecTest, DecoderIgnoresOversizedAndForeignFrames) {
  LoaderCodec decoder;
  // 2056 announced bytes: not a frame; the hunt goes on and the next frame is found.
  Bytes stream{0x02, 0x06, 0x08, 0x08};
  const Bytes good = LoaderCodec::Encode(6, Bytes(425, 0x11));
  stream.insert(stream.end(), good.begin(), good.end());
  int frames = 0;
  for (auto b : stream) frames += decoder.Feed(b);
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(decoder.Frame().command, 6);
  EXPECT_EQ(decoder.Frame().data.size(), 425u);
  Bytes bad = LoaderCodec::Encode(20, {1});
  bad[5] ^= 0x10;
  for (auto b : bad) EXPECT_FALSE(decoder.Feed(b));
}

TEST(BreakInfoTextTest, NamesEveryFieldTheHostReads) {
  BreakInfoText info;
  info.product = "QZ710-MONITOR";
  info.port = 15;
  info.baud = 115200;
  info.version = "3.21";
  info.serial = "5012A00123";
  info.refver = "4.10";
  info.portStatus = "FIX";
  EXPECT_EQ(info.Build(),
            "PRODUCT,QZ710-MONITOR;PORT,15,115200,NONE,8,1,N,F;PORTSTATUS,FIX;VERSION,3.21;COMM,1;"
            "SERIAL,5012A00123;REFVER,4.10;");
  const Bytes f = info.Frame();
  EXPECT_EQ(f[2], 0x6E);
  EXPECT_EQ(f[3], info.Build().size());
}

}  // namespace
}  // namespace sim
