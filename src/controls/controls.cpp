#include "controls/controls.h"

#include "controls/button.h"
#include "controls/drawing.h"
#include "controls/label.h"
#include "controls/listbox.h"
#include "controls/power_point.h"
#include "controls/progress_bar.h"
#include "controls/slider.h"
#include "controls/tab_control.h"
#include "controls/text_input.h"
#include "controls/title_bar.h"
#include "controls/web_browser.h"
#include "dui/factory.h"

void registerControlCreators(duiFactory::ControlCreatorRegistry& registry) {
    registerButtonCreators(registry);
    registerLabelCreators(registry);
    registerDrawingCreators(registry);
    registerSliderCreators(registry);
    registerProgressBarCreators(registry);
    registerTabCreators(registry);
    registerTitleBarCreators(registry);
    registerPowerPointCreators(registry);
    registerListCreators(registry);
    registerTextInputCreators(registry);
    registerWebBrowserCreators(registry);
}
