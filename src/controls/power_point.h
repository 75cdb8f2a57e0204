// PowerPoint: a timed slideshow of the images named by "imagelist" (separated by ";"), each shown for
// 151 ticks of 30 ms and cross-faded in over its first 40 ticks along a sine ease. The images belong
// to the skin; the control blends into one bitmap of the first image's size, made when it is
// attached. Only images of that size are blended; a missing image shows nothing. UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dui/control.h"
#include "render/skin_image.h"
#include "window/timer.h"

namespace duiFactory {
class ControlCreatorRegistry;
}

class PowerPoint : public Control {
  public:
    static constexpr UINT kInterval = 30;           // ms per tick
    static constexpr int32_t kTicksPerImage = 150;  // the index moves on at the tick after this count
    static constexpr int32_t kFadeTicks = 40;       // ticks of a cross-fade
    static constexpr int32_t kStartCount = 50;      // playStart: the first picture without a fade

    PowerPoint();
    const wchar_t* typeName() const override { return L"PowerPoint"; }
    // The current picture at the top-left corner at the frame size, unscaled; while playing and within
    // the first 40 ticks of a picture, blended with the one before it.
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;

    // Starts the ticks with the count at 50 (the first tick comes at once); nothing while playing.
    void playStart();
    // Stops the ticks and repaints; the current picture stays, unblended.
    void playStop();
    bool playing() const { return timer_.running(); }
    int32_t currentIndex() const { return timer_.index; }
    int32_t tickCount() const { return timer_.count; }
    std::size_t imageCount() const { return images_.size(); }
    SIZE frameSize() const { return SIZE{frame_.width(), frame_.height()}; }

    // The current picture's weight at fade tick `count`: (sin(count * pi/40 - pi/2) + 1) * 128, cut to
    // an integer; 0 at the start of a fade, 255 at its end.
    static int fadeWeight(int32_t count);
    // out = (current * weight + previous * (256 - weight)) >> 8 for each byte of `words` pixels,
    // alpha included, through two 256-entry product tables.
    static void crossFade(uint32_t* out, const uint32_t* current, const uint32_t* previous, std::size_t words,
                          int weight);

  private:
    class PowerPointTimer : public Timer {
      public:
        explicit PowerPointTimer(PowerPoint& owner) : Timer(kInterval), owner_(owner) {}
        void tick() override;

        int32_t count = 0;
        int32_t index = 0;

      private:
        PowerPoint& owner_;
    };

    static void onAttached(void* context, Control* sender, EventRecord& event);
    void loadImages();
    const SkinImage* image(int32_t index) const;
    // The picture to show now: the blend output during a fade, else the current image (or null).
    const SkinImage* frameToShow();

    std::vector<SkinImage*> images_;  // owned by the skin; null where the name was missing
    SkinImage frame_;                 // the blend output, the first image's size
    int32_t blendedCount_ = -1;       // what frame_ holds, so repeated paints of one tick blend once
    int32_t blendedIndex_ = -1;
    PowerPointTimer timer_{*this};
};

// "PowerPoint".
void registerPowerPointCreators(duiFactory::ControlCreatorRegistry& registry);
