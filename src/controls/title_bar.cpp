#include "controls/title_bar.h"

#include <oleacc.h>

#include "dui/factory.h"
#include "dui/window_host.h"

namespace {

// SC_MOVE | HTCAPTION: the system moves the window with the mouse until the button is released.
// SendMessageW returns only then.
constexpr WPARAM kDragMove = SC_MOVE | HTCAPTION;

void startDrag(void*, Control* sender, EventRecord&) {
    if (WindowHost* window = sender->window())
        SendMessageW(window->windowHandle(), WM_SYSCOMMAND, kDragMove, 0);
}

}  // namespace

TitleBar::TitleBar() {
    addDelegate(event::LButtonDown, this, startDrag);
}

int32_t TitleBar::accessibleRole() const {
    return ROLE_SYSTEM_TITLEBAR;
}

void registerTitleBarCreators(duiFactory::ControlCreatorRegistry& registry) {
    registry.add<TitleBar>(L"TitleBar");
}
