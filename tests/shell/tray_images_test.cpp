#include "shell/tray_images.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace velmor {
namespace {

int Red(std::uint32_t p) {
  return static_cast<int>((p >> 16) & 0xFF);
}
int Green(std::uint32_t p) {
  return static_cast<int>((p >> 8) & 0xFF);
}
int Blue(std::uint32_t p) {
  return static_cast<int>(p & 0xFF);
}

IconImage Mirror(const IconImage& image) {
  IconImage mirror = image;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      mirror.pixels[static_cast<std::size_t>(y * image.width + x)] =
          image.At(image.width - 1 - x, y);
    }
  }
  return mirror;
}

// Columns holding at least one pixel that is not the background.
int InkedColumns(const IconImage& image) {
  int columns = 0;
  for (int x = 0; x < image.width; ++x) {
    for (int y = 0; y < image.height; ++y) {
      if (image.At(x, y) != kTrayBackground) {
        ++columns;
        break;
      }
    }
  }
  return columns;
}

class TrayImagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { images_ = new std::vector<IconImage>(DrawTrayImages()); }
  static void TearDownTestSuite() { delete images_; }
  static const IconImage& Image(int i) { return (*images_)[static_cast<std::size_t>(i)]; }
  static std::vector<IconImage>* images_;
};
std::vector<IconImage>* TrayImagesTest::images_ = nullptr;

TEST_F(TrayImagesTest, SeventeenOpaqueSixteenPixelSquares) {
  ASSERT_EQ(images_->size(), 17u);
  for (const IconImage& image : *images_) {
    ASSERT_EQ(image.width, 16);
    ASSERT_EQ(image.height, 16);
    ASSERT_EQ(image.pixels.size(), 256u);
    for (std::uint32_t p : image.pixels) EXPECT_EQ(p >> 24, 0xFFu);
  }
}

TEST_F(TrayImagesTest, EmblemStandsOnLightGreyWithCornersFree) {
  for (int i = 0; i <= 15; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Image(i).At(0, 0), kTrayBackground);
    EXPECT_EQ(Image(i).At(15, 0), kTrayBackground);
    EXPECT_EQ(Image(i).At(0, 15), kTrayBackground);
    EXPECT_EQ(Image(i).At(15, 15), kTrayBackground);
    EXPECT_GT(InkedColumns(Image(i)), 0);
  }
  EXPECT_EQ(kTrayBackground & 0xFFFFFF, 0xB2B2B2u);
}

TEST_F(TrayImagesTest, TurningPointIsTheMirrorImageOfTheStart) {
  EXPECT_EQ(Image(15), Mirror(Image(0)));
  // The emblem is lit from one side, so the turn is visible.
  EXPECT_NE(Image(15), Image(0));
}

TEST_F(TrayImagesTest, SecondHalfOfTheSwingMirrorsTheFirst) {
  for (int i = 1; i <= 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Image(15 - i), Mirror(Image(i)));
  }
}

TEST_F(TrayImagesTest, EmblemNarrowsToAnEdgeAndWidensAgain) {
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_GE(InkedColumns(Image(i)), InkedColumns(Image(i + 1)));
  }
  for (int i = 8; i < 15; ++i) {
    SCOPED_TRACE(i);
    EXPECT_LE(InkedColumns(Image(i)), InkedColumns(Image(i + 1)));
  }
  EXPECT_LE(InkedColumns(Image(7)), 4);
  EXPECT_LE(InkedColumns(Image(8)), 4);
  EXPECT_GE(InkedColumns(Image(0)), 8);
  EXPECT_GT(InkedColumns(Image(0)), InkedColumns(Image(4)));
  EXPECT_GT(InkedColumns(Image(4)), InkedColumns(Image(7)));
}

TEST_F(TrayImagesTest, EmblemIsGreyAndOnlyTheStoppedImageHasRed) {
  for (int i = 0; i <= 15; ++i) {
    for (std::uint32_t p : Image(i).pixels) {
      ASSERT_LE(Red(p) - Blue(p), 8) << "image " << i;
    }
  }
}

TEST_F(TrayImagesTest, StoppedImageIsCrossedOutCornerToCorner) {
  const IconImage& crossed = Image(16);
  auto reddish = [](std::uint32_t p) { return Red(p) > Green(p) + 100 && Red(p) > Blue(p) + 100; };
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(reddish(crossed.At(i, i)));
    EXPECT_TRUE(reddish(crossed.At(15 - i, i)));
  }
  // Away from the cross the face-on emblem still shows.
  int same = 0;
  for (std::size_t k = 0; k < crossed.pixels.size(); ++k) {
    same += crossed.pixels[k] == Image(0).pixels[k] ? 1 : 0;
  }
  EXPECT_GT(same, 128);
}

TEST(WindowIcon, BothSizesShowTheEmblemOnATransparentBackground) {
  for (int size : {32, 16}) {
    SCOPED_TRACE(size);
    const IconImage icon = DrawWindowIcon(size);
    ASSERT_EQ(icon.width, size);
    ASSERT_EQ(icon.height, size);
    ASSERT_EQ(icon.pixels.size(), static_cast<std::size_t>(size * size));
    EXPECT_EQ(icon.At(0, 0) >> 24, 0u);
    EXPECT_EQ(icon.At(size - 1, size - 1) >> 24, 0u);
    int opaque = 0;
    for (std::uint32_t p : icon.pixels) opaque += (p >> 24) == 0xFF ? 1 : 0;
    EXPECT_GT(opaque, size * size / 8);
  }
}

}  // namespace
}  // namespace velmor
