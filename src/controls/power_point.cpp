#include "controls/power_point.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "dui/factory.h"
#include "render/skin_store.h"

PowerPoint::PowerPoint() {
    addDelegate(event::Attached, this, onAttached);
}

void PowerPoint::onAttached(void* context, Control*, EventRecord&) {
    static_cast<PowerPoint*>(context)->loadImages();
}

// Empty names (";;" or a trailing ";") name nothing and take no slot.
void PowerPoint::loadImages() {
    images_.clear();
    const std::wstring_view list = getText(attr::imagelist);
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t end = std::min(list.find(L';', start), list.size());
        if (end > start)
            images_.push_back(findSkinImage(std::wstring(list.substr(start, end - start)).c_str()));
        start = end + 1;
    }
    // A blend of opaque pictures is opaque and is copied rather than blended onto the page.
    const bool translucent = std::any_of(images_.begin(), images_.end(),
                                         [](const SkinImage* img) { return img && img->hasAlpha(); });
    const SkinImage* first = images_.empty() ? nullptr : images_.front();
    if (!first || !frame_.createBlank(first->width(), first->height(), translucent))
        frame_.createBlank(0, 0);
    blendedCount_ = blendedIndex_ = -1;
    timer_.setInterval(kInterval);
    timer_.index = 0;
}

const SkinImage* PowerPoint::image(int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= images_.size())
        return nullptr;
    const SkinImage* img = images_[index];
    return img && img->bitmap() ? img : nullptr;
}

void PowerPoint::playStart() {
    if (timer_.running())
        return;
    timer_.count = kStartCount;
    timer_.start();
}

void PowerPoint::playStop() {
    timer_.stop();
    invalidate(false);
}

void PowerPoint::PowerPointTimer::tick() {
    if (count >= kTicksPerImage) {
        count = 0;
        const auto n = static_cast<int32_t>(owner_.images_.size());
        index = n > 0 ? (index + 1) % n : 0;
    } else {
        ++count;
    }
    owner_.invalidate(false);
}

int PowerPoint::fadeWeight(int32_t count) {
    return static_cast<int>((std::sin(count * 0.07853981742 - 1.570796325) + 1) * 128);
}

void PowerPoint::crossFade(uint32_t* out, const uint32_t* current, const uint32_t* previous,
                           std::size_t words, int weight) {
    uint16_t mine[256], theirs[256];  // i * c and i * (256 - c); each at most 255 * 256
    for (int i = 0; i < 256; ++i) {
        mine[i] = static_cast<uint16_t>(i * weight);
        theirs[i] = static_cast<uint16_t>(i * (256 - weight));
    }
    // Byte by byte: blue, green, red and alpha alike.
    auto* o = reinterpret_cast<uint8_t*>(out);
    const auto* a = reinterpret_cast<const uint8_t*>(current);
    const auto* b = reinterpret_cast<const uint8_t*>(previous);
    const std::size_t bytes = words * 4;
    for (std::size_t k = 0; k < bytes; ++k) o[k] = static_cast<uint8_t>((mine[a[k]] + theirs[b[k]]) >> 8);
}

const SkinImage* PowerPoint::frameToShow() {
    const int32_t index = timer_.index;
    const SkinImage* current = image(index);
    if (!current || !timer_.running() || timer_.count >= kFadeTicks || images_.size() < 2)
        return current;
    const int32_t last = static_cast<int32_t>(images_.size()) - 1;
    const SkinImage* previous = image(index > 0 ? index - 1 : last);
    auto fits = [&](const SkinImage* img) {
        return img && img->width() == frame_.width() && img->height() == frame_.height();
    };
    if (!frame_.bitmap() || !fits(current) || !fits(previous))
        return current;
    if (blendedCount_ != timer_.count || blendedIndex_ != index) {
        GdiFlush();
        crossFade(frame_.pixels(), current->pixels(), previous->pixels(),
                  static_cast<std::size_t>(frame_.width()) * frame_.height(), fadeWeight(timer_.count));
        blendedCount_ = timer_.count;
        blendedIndex_ = index;
    }
    return &frame_;
}

void PowerPoint::paint(HDC dc, const RECT& rect, const RECT&) {
    const SkinImage* shown = frameToShow();
    if (!shown)
        return;
    // Unscaled at the frame size; a picture of another size is cut to it.
    const int w = std::min(shown->width(), frame_.width()), h = std::min(shown->height(), frame_.height());
    shown->drawImage(dc, rect.left, rect.top, w, h, 0, 0, w, h);
}

void registerPowerPointCreators(duiFactory::ControlCreatorRegistry& registry) {
    registry.add<PowerPoint>(L"PowerPoint");
}
