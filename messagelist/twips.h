// Twips (1/1440 inch), the unit of lengths in the window's design.
#pragma once

namespace messagelist {

// At the usual 96 dots per inch, 15 twips make one pixel.
constexpr int kTwipsPerPixel = 15;

constexpr int twipsToPixels(int twips) {
  return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}
constexpr int pixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }

}  // namespace messagelist
