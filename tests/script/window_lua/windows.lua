-- Window functions: creation, modal runs, position, layout, timers, folder browser, notifications.
local LButtonUp = 15

-- Runs fn once, ms after now, from whatever message loop is running.
local function later(w, ms, fn)
  local id
  id = w:setTimer(ms, function()
    w:killTimer(id)
    fn()
  end)
end

-- Runs the window modally; a safety timer ends a run that would otherwise hang with code -1.
local function runDialog(w, owner)
  later(w, 10000, function() w:endDialog(-1) end)
  if owner then
    return w:showDialog(owner)
  end
  return w:showDialog()
end

case("a window without a style is a hidden popup with the seventeen methods", function()
  local w = createWindow("dialog.xml")
  expect(type(w) == "table", "createWindow answers a table")
  local n = 0
  for _, f in pairs(w) do
    expect(type(f) == "function", "only functions")
    n = n + 1
  end
  expectEq(n, 17, "method count")
  local h = test_hwnd(w)
  expect(h and test_isWindow(h), "native window exists")
  expect(not test_isVisible(h), "hidden until shown")
  local l, t, r, b = test_windowRect(h)
  expectEq(r - l, 600, "width from initSize")
  expectEq(b - t, 400, "height from initSize")
  expect(test_shadowOf(h) ~= nil, "shadow companion made")
  later(w, 50, function() w:endDialog(2) end)
  expectEq(runDialog(w), 2, "ended")
end)

case("endDialog(3) from a click handler ends showDialog with 3 and the window is gone", function()
  local w = createWindow("dialog.xml")
  local band = w:getChild(11)
  expect(band ~= nil, "child by id")
  band:addHandler(LButtonUp, function()
    w:endDialog(3)
    return true
  end)
  local h = test_hwnd(w)
  later(w, 100, function() test_click(band) end)
  expectEq(runDialog(w), 3, "end code")
  expect(not test_isWindow(h), "native window destroyed")
  expectEq(count(w:getRoot()), 0, "methods of a gone window answer nothing")
  expectEq(count(w:getPosition()), 0, "getPosition answers nothing")
  expectEq(test_hwnd(w), nil, "no registry entry")
end)

case("endDialog(0) keeps the loop running", function()
  local w = createWindow("dialog.xml")
  local zeroSeen = false
  later(w, 50, function()
    w:endDialog(0)
    zeroSeen = true
    later(w, 150, function() w:endDialog(7) end)
  end)
  expectEq(runDialog(w), 7, "the later code ends it")
  expect(zeroSeen, "0 was given first")
end)

case("the quit message ends a dialog with 0 and stays queued", function()
  local w = createWindow("dialog.xml")
  later(w, 50, function() test_postQuit(42) end)
  expectEq(runDialog(w), 0, "end code")
  expectEq(test_takeQuit(), 42, "quit message left for the outer loop")
end)

case("dialogs nest and the owner is disabled while the inner one runs", function()
  local outer = createWindow("dialog.xml")
  local ownerHwnd = test_hwnd(outer)
  local innerCode, ownerEnabledInside
  later(outer, 50, function()
    local inner = createWindow("dialog.xml")
    later(inner, 50, function()
      ownerEnabledInside = test_isEnabled(ownerHwnd)
      inner:endDialog(4)
    end)
    innerCode = runDialog(inner, outer)
    later(outer, 50, function() outer:endDialog(9) end)
  end)
  expectEq(runDialog(outer), 9, "outer code")
  expectEq(innerCode, 4, "inner code")
  expectEq(ownerEnabledInside, false, "owner disabled during the inner run")
end)

case("centerScreen puts the window 50 px above the centre; get/setPosition", function()
  local w = createWindow("dialog.xml")
  w:centerScreen()
  local sw, sh = test_screenSize()
  local x, y = w:getPosition()
  expectEq(count(w:getPosition()), 2, "two results")
  expectEq(x, math.floor((sw - 600) / 2), "x")
  expectEq(y, math.floor((sh - 400 - 100) / 2), "y")
  w:setPosition(37, 45)
  x, y = w:getPosition()
  expectEq(x, 37, "moved x")
  expectEq(y, 45, "moved y")
  local l, t, r, b = test_windowRect(test_hwnd(w))
  expectEq(r - l, 600, "size kept")
  test_destroyWindow(test_hwnd(w))
end)

case("updateLayout without initSize sizes the window to the measured content", function()
  local w = createWindow("measured.xml")
  w:updateLayout()
  local l, t, r, b = test_windowRect(test_hwnd(w))
  expectEq(r - l, 320, "measured width")
  expectEq(b - t, 240, "measured height")
  test_destroyWindow(test_hwnd(w))
end)

case("setTimer answers a number and killTimer stops the ticks for good", function()
  local w = createWindow("dialog.xml")
  local ticks = 0
  local id = w:setTimer(30, function() ticks = ticks + 1 end)
  expectEq(type(id), "number", "handle type")
  expect(test_pumpUntil(function() return ticks >= 3 end, 3000), "ticks arrive")
  w:killTimer(id)
  local after = ticks
  test_pumpFor(200)
  expectEq(ticks, after, "no tick after killTimer")
  w:killTimer(12345)  -- unknown handles are ignored
  test_destroyWindow(test_hwnd(w))
end)

case("a timer whose function fails shows one error box and stops", function()
  local w = createWindow("dialog.xml")
  local before = test_runningTimers()
  local calls = 0
  w:setTimer(150, function()
    calls = calls + 1
    error("the timer failed")
  end)
  expect(test_pumpUntil(function() return calls >= 1 end, 3000), "ticked")
  test_pumpFor(500)
  expectEq(calls, 1, "no tick after the failure")
  expectEq(test_runningTimers(), before, "the timer stopped")
  local boxes = test_takeErrorBoxes()
  expectEq(#boxes, 1, "one box")
  expect(boxes[1] and boxes[1]:find("the timer failed", 1, true), tostring(boxes[1]))
  test_destroyWindow(test_hwnd(w))
end)

case("a window destroyed by the system leaves no timer, entry or delegate behind", function()
  local w = createWindow("dialog.xml")
  local before = test_runningTimers()
  w:setTimer(1000, function() end)
  w:setMessageHandler(function() return 1 end)
  expectEq(test_runningTimers(), before + 1, "timer runs")
  expectEq(test_handlerCount(), 1, "one delegate")
  expect(test_destroyWindow(test_hwnd(w)), "destroyed")
  expectEq(test_runningTimers(), before, "timer stopped")
  expectEq(test_handlerCount(), 0, "delegate gone")
  expectEq(test_hwnd(w), nil, "registry entry gone")
  expectEq(#debug.getregistry().__timer, 0, "no timer entries")
end)

case("a second setMessageHandler replaces the function and keeps one delegate", function()
  local w = createWindow("dialog.xml")
  w:setMessageHandler(function() return 1 end)
  w:setMessageHandler(function() return 2 end)
  expectEq(test_handlerCount(), 1, "one delegate")
  expectEq(test_notify("{code=4}"), 2, "the later function answers, once")
  test_destroyWindow(test_hwnd(w))
end)

case("createWindow of a missing layout answers nil", function()
  expectEq(createWindow("no-such-layout.xml"), nil, "nil")
end)

case("a malformed layout, the window's or its shadow's, is shown with its place and answers nil", function()
  local function attempt(layout)
    local w = createWindow(layout)
    if w then
      test_destroyWindow(test_hwnd(w))
    end
    return w, test_takeErrorBoxes()
  end
  local w, boxes = attempt("broken.xml")
  expectEq(w, nil, "no window of a malformed layout")
  expectEq(#boxes, 1, "one box")
  expect(boxes[1] and boxes[1]:find("broken.xml:4:22: expected ' or \"", 1, true), tostring(boxes[1]))
  expect(test_loadLayouts("bad_shadow.lz"), "the archive with the malformed shadow")
  w, boxes = attempt("plain.xml")
  test_loadLayouts("frame.lz")
  expectEq(w, nil, "no window when the shadow's layout is malformed")
  expectEq(#boxes, 1, "one box")
  expect(boxes[1] and boxes[1]:find("proxywindow.xml:4:1: expected >", 1, true), tostring(boxes[1]))
end)

case("browseForFolder answers the picked path, and nothing on cancel", function()
  local w = createWindow("dialog.xml")
  -- Wine's browser starts on the desktop; OK picks it as the user would.
  test_answerBrowser("pick")
  local path = w:browseForFolder("Pick")
  expect(test_browserSeen(), "the browser appeared")
  expectEq(path and path:lower(), test_desktopFolder():lower(), "path as the system gives it")
  test_answerBrowser("cancel")
  expectEq(count(w:browseForFolder("Cancel")), 0, "nothing on cancel")
  test_destroyWindow(test_hwnd(w))
end)
