// Every element name of these controls builds from a layout into its class, with its script-visible
// type name and its flags at construction.
#include <memory>
#include <string>

#include "controls/button.h"
#include "controls/drawing.h"
#include "controls/label.h"
#include "controls/power_point.h"
#include "controls/progress_bar.h"
#include "controls/slider.h"
#include "controls/tab_control.h"
#include "controls/title_bar.h"
#include "dui/loader.h"
#include "page_fixture.h"

namespace {

struct Expected {
    const char* element;
    const wchar_t* typeName;
    uint32_t flags;
    bool (*isClass)(Control*);
};

template <typename T>
bool exactly(Control* c) {
    return c && typeid(*c) == typeid(T);
}

const Expected kElements[] = {
    {"Button", L"Button", 0x163, exactly<Button>},
    {"CheckBox", L"Button", 0x163, exactly<CheckBox>},
    {"RadioButton", L"Button", 0x163, exactly<RadioButton>},
    {"ToggleButton", L"Button", 0x163, exactly<ToggleButton>},
    {"IconButton", L"Button", 0x163, exactly<IconButton>},
    {"ToggleIconButton", L"Button", 0x163, exactly<ToggleIconButton>},
    {"ImageButton", L"Button", 0x163, exactly<ImageButton>},
    {"Label", L"Control", 0x403, exactly<Label>},
    {"LinkLabel", L"Control", 0x3, exactly<LinkLabel>},
    {"Image", L"Image", 0x403, exactly<Drawing>},
    {"Seperator", L"Control", 0x403, exactly<Seperator>},
    {"Slider", L"Control", 0x8163, exactly<Slider>},
    {"ProgressBar", L"ProgressBar", 0x403, exactly<ProgressBar>},
    {"TabControl", L"Panel", 0x2003, exactly<TabControl>},
    {"TabItem", L"Button", 0x20123, exactly<TabItem>},
    {"TitleBar", L"Control", 0x3, exactly<TitleBar>},
    {"PowerPoint", L"PowerPoint", 0x3, exactly<PowerPoint>},
};

std::unique_ptr<Control> build(const std::string& xml) {
    return std::unique_ptr<Control>(buildLayout(xml.data(), xml.size()));
}

}  // namespace

TEST(Registration, EveryElementBuildsItsClassWithTypeNameAndFlags) {
    for (const Expected& e : kElements) {
        SCOPED_TRACE(e.element);
        std::unique_ptr<Control> c = build(std::string("<") + e.element + "/>");
        ASSERT_NE(c, nullptr) << "no creator";
        EXPECT_TRUE(e.isClass(c.get()));
        EXPECT_STREQ(c->typeName(), e.typeName);
        EXPECT_EQ(c->flags(), e.flags);
    }
}

TEST(Registration, ATabItemKeepsItsFirstChildAsItsPageAndBuildsNoOther) {
    std::unique_ptr<Control> root = build(R"(<TabControl><TabItem><Label id="7"/><Label id="8"/></TabItem>
                                               <TabItem/></TabControl>)");
    ASSERT_NE(root, nullptr);
    auto* first = dynamic_cast<TabItem*>(root->firstChild());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->page(), nullptr);
    EXPECT_EQ(first->page()->getInt(attr::id, 0), 7);
    auto* second = dynamic_cast<TabItem*>(first->nextSibling());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->page(), nullptr);
    EXPECT_EQ(second->nextSibling(), nullptr) << "pages are not children of the tab control";
}

TEST(Registration, LeafControlsIgnoreChildElements) {
    std::unique_ptr<Control> root = build(R"(<Button><Label/></Button>)");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->firstChild(), nullptr);
}
