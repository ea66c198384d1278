// The icon files the program ships.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QStringList>

namespace {

// The icon files that ship: eight images in the .ico, one PNG per window size.
TEST(Icon, ShipsEverySizeAndColourDepth) {
  QFile ico(QStringLiteral(VANTOREL_ICON_DIR "/vantorel.ico"));
  ASSERT_TRUE(ico.open(QIODevice::ReadOnly));
  const QByteArray data = ico.readAll();
  ASSERT_GE(data.size(), 6);
  auto u16 = [&data](int at) { return static_cast<quint8>(data[at]) | (static_cast<quint8>(data[at + 1]) << 8); };
  auto u32 = [&](int at) { return static_cast<quint32>(u16(at)) | (static_cast<quint32>(u16(at + 2)) << 16); };
  ASSERT_EQ(u16(2), 1);  // an icon, not a cursor
  ASSERT_EQ(u16(4), 8);
  QStringList images;
  for (int i = 0; i < 8; ++i) {
    const int entry = 6 + 16 * i;
    const int size = static_cast<quint8>(data[entry]);
    const int bpp = u16(entry + 6);
    images << QStringLiteral("%1x%1@%2").arg(size).arg(bpp);
    const quint32 length = u32(entry + 8), offset = u32(entry + 12);
    EXPECT_LE(offset + length, static_cast<quint32>(data.size()));
    EXPECT_EQ(u32(static_cast<int>(offset) + 4), static_cast<quint32>(size)) << "bitmap width of " << i;
  }
  images.sort();
  QStringList expected = {"16x16@8", "32x32@8", "48x48@8", "16x16@32", "32x32@32", "48x48@32", "16x16@4", "32x32@4"};
  expected.sort();
  EXPECT_EQ(images, expected);

  for (int size : {16, 32, 48}) {
    const QImage png(QStringLiteral(VANTOREL_ICON_DIR "/vantorel-%1.png").arg(size));
    EXPECT_EQ(png.size(), QSize(size, size));
    EXPECT_TRUE(png.hasAlphaChannel());
  }
}

}  // namespace
