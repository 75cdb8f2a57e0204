#include "text_input_fixture.h"

#include "controls/controls.h"
#include "dui/context_parts.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "host/handles.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "render/skin_store.h"
#include "win_test_support.h"
#include "window/timer.h"
#include "window/window_base.h"

namespace textinputtest {

namespace {

[[maybe_unused]] ::testing::Environment* const environment = testsupport::addUiEnvironment(
    {{{L"text_input_skin.lz", 401}}, L"text_input_skin.lz", nullptr, registerControlCreators});

void sendUnicode(wchar_t unit, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wScan = unit;
    input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
    SendInput(1, &input, sizeof(input));
}

}  // namespace

WindowImpl* TextInputTest::open(const std::string& xml, int x, int y) {
    WindowImpl* created = WindowFixture::open(xml, x, y);
    if (!created)
        return nullptr;
    EXPECT_TRUE(testsupport::bringToFront(created->handle())) << "the window needs the keyboard";
    window = created;
    settle();
    return created;
}

void TextInputTest::listen(Control* control) {
    for (int32_t id : {event::PrevKeyUp, event::LButtonUp, event::MouseWheel, event::ValueChange})
        control->addDelegate(id, this, count);
}

void TextInputTest::count(void* self, Control*, EventRecord& e) {
    auto& test = *static_cast<TextInputTest*>(self);
    switch (e.id) {
        case event::PrevKeyUp:
            ++test.keyUps;
            break;
        case event::LButtonUp:
            ++test.buttonUps;
            break;
        case event::MouseWheel:
            ++test.wheels;
            break;
        case event::ValueChange:
            ++test.valueChanges;
            break;
        default:
            break;
    }
}

Edit* TextInputTest::edit(int32_t id) {
    auto* control = dynamic_cast<Edit*>(window ? window->controlById(id) : nullptr);
    EXPECT_NE(control, nullptr) << "no Edit with id " << id;
    if (control)
        listen(control);
    return control;
}

TextBox* TextInputTest::textBox(int32_t id) {
    auto* control = dynamic_cast<TextBox*>(window ? window->controlById(id) : nullptr);
    EXPECT_NE(control, nullptr) << "no TextBox with id " << id;
    if (control)
        listen(control);
    return control;
}

POINT TextInputTest::screenPoint(const Control* control, int dx, int dy) const {
    POINT p{dx, dy};
    control->toWindowPoint(&p);
    return testsupport::clientToScreen(window->handle(), p);
}

bool TextInputTest::waitFor(const std::function<bool()>& done, DWORD timeoutMs) {
    return testsupport::pumpUntil(done, timeoutMs);
}

void TextInputTest::clickAt(const Control* control, int dx, int dy) {
    const int expected = buttonUps + 1;
    testsupport::click(screenPoint(control, dx, dy));
    EXPECT_TRUE(waitFor([&] { return buttonUps >= expected; })) << "the click was not handled";
}

void TextInputTest::doubleClickAt(const Control* control, int dx, int dy) {
    const int expected = buttonUps + 2;
    testsupport::doubleClick(screenPoint(control, dx, dy));
    EXPECT_TRUE(waitFor([&] { return buttonUps >= expected; })) << "the double click was not handled";
}

void TextInputTest::drag(const Control* control, const std::vector<POINT>& points) {
    if (points.empty())
        return;
    const int expected = buttonUps + 1;
    testsupport::moveMouse(screenPoint(control, points.front().x, points.front().y));
    testsupport::mouseDown();
    for (std::size_t i = 1; i < points.size(); ++i) {
        testsupport::moveMouse(screenPoint(control, points[i].x, points[i].y));
        testsupport::pumpFor(0);
    }
    testsupport::mouseUp();
    EXPECT_TRUE(waitFor([&] { return buttonUps >= expected; })) << "the release was not handled";
}

void TextInputTest::wheelOver(const Control* control, int notches) {
    const int expected = wheels + 1;
    RECT r;
    control->windowRect(&r);
    testsupport::moveMouse(screenPoint(control, (r.right - r.left) / 2, (r.bottom - r.top) / 2));
    testsupport::wheel(notches);
    EXPECT_TRUE(waitFor([&] { return wheels >= expected; })) << "the wheel did not reach the control";
}

void TextInputTest::waitKeyUps(int expected) {
    EXPECT_TRUE(waitFor([&] { return keyUps >= expected; })) << "keys were not handled";
}

void TextInputTest::type(const std::wstring& text) {
    const int expected = keyUps + static_cast<int>(text.size());
    for (wchar_t unit : text) {
        sendUnicode(unit, false);
        sendUnicode(unit, true);
    }
    waitKeyUps(expected);
}

void TextInputTest::press(WORD virtualKey, int times) {
    const int expected = keyUps + times;
    for (int i = 0; i < times; ++i) testsupport::pressKey(virtualKey);
    waitKeyUps(expected);
}

void TextInputTest::pressWithControl(WORD virtualKey) {
    const int expected = keyUps + 2;
    testsupport::keyDown(VK_CONTROL);
    testsupport::pressKey(virtualKey);
    testsupport::keyUp(VK_CONTROL);
    waitKeyUps(expected);
}

void TextInputTest::pressWithShift(WORD virtualKey) {
    const int expected = keyUps + 2;
    testsupport::keyDown(VK_SHIFT);
    testsupport::pressKey(virtualKey);
    testsupport::keyUp(VK_SHIFT);
    waitKeyUps(expected);
}

bool TextInputTest::settle() {
    return !window || testsupport::settleWindow(window);
}

uint32_t TextInputTest::pixelAt(const Control* control, int dx, int dy) {
    settle();
    const POINT p = screenPoint(control, dx, dy);
    return testsupport::screenPixel(p.x, p.y);
}

bool TextInputTest::inkIn(const Control* control, const RECT& area) {
    settle();
    const POINT topLeft = screenPoint(control, area.left, area.top);
    const RECT screen{topLeft.x, topLeft.y, topLeft.x + area.right - area.left,
                      topLeft.y + area.bottom - area.top};
    testsupport::Image image;
    EXPECT_TRUE(testsupport::captureScreen(screen, &image));
    for (uint32_t pixel : image.pixels)
        if ((pixel & 0xFFFFFF) != 0xFFFFFF)
            return true;
    return false;
}

// ---- The clipboard peer -----------------------------------------------------------------------------

namespace {

std::wstring peerPath() {
    return testsupport::selfFolder() + L"\\text_input_peer.exe";
}

std::wstring exchangeFile() {
    static const std::wstring folder = testsupport::makeTempFolder(L"text_input_clipboard");
    return folder + L"\\exchange.txt";
}

// Runs the peer while this thread keeps pumping (the peer may need this process's clipboard owner).
bool runPeer(const std::wstring& args) {
    testsupport::Process peer = testsupport::startProcess(peerPath(), args);
    if (!peer)
        return false;
    const bool ended = testsupport::pumpUntil(
        [&] { return WaitForSingleObject(peer.handle.get(), 0) == WAIT_OBJECT_0; }, kDeadline);
    if (!ended) {
        TerminateProcess(peer.handle.get(), 1);
        return false;
    }
    DWORD code = 1;
    GetExitCodeProcess(peer.handle.get(), &code);
    return code == 0;
}

}  // namespace

bool peerSetClipboard(const std::wstring& text) {
    const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    if (!testsupport::writeFile(exchangeFile(), bytes))
        return false;
    return runPeer(L"set \"" + exchangeFile() + L"\"");
}

bool peerGetClipboard(std::wstring* text) {
    DeleteFileW(exchangeFile().c_str());
    if (!runPeer(L"get \"" + exchangeFile() + L"\""))
        return false;
    const auto bytes = testsupport::readFile(exchangeFile());
    if (!bytes)
        return false;
    text->assign(reinterpret_cast<const wchar_t*>(bytes->data()), bytes->size() / sizeof(wchar_t));
    return true;
}

}  // namespace textinputtest
