-- Control methods on real windows: navigation, focus, handlers and the cursor.
local GotFocus, LButtonUp, QueryCursor = 2, 15, 28

case("panel navigation: getChild(0) is the first child, getLastChild the last", function()
  local w = createWindow("dialog.xml")
  local stack = w:getChild(2)
  expect(rawequal(stack:getChild(0), stack:getFirstChild()), "getChild(0)")
  expect(rawequal(stack:getFirstChild(), w:getChild(10)), "first child")
  expect(rawequal(stack:getLastChild(), w:getChild(12)), "last child")
  expect(rawequal(w:getRoot(), w:getChild(1)), "root by id")
  expect(rawequal(stack:getWindow(), w), "a control knows its window table")
  expectEq(w:getChild(999), nil, "unknown id")
  expectEq(w:getChild(10):getText(), "", "no text gives the empty string")
  test_destroyWindow(test_hwnd(w))
end)

case("setFocus focuses the control with one GotFocus", function()
  local w = createWindow("dialog.xml")
  local band = w:getChild(12)
  local got = 0
  band:addHandler(GotFocus, function() got = got + 1 end)
  band:setFocus()
  expect(band:readFlag(2), "focused flag")
  expectEq(got, 1, "GotFocus once")
  band:setFocus()
  expectEq(got, 1, "no second GotFocus")
  test_destroyWindow(test_hwnd(w))
end)

case("after removeHandler of the only handler a click calls nothing", function()
  local w = createWindow("dialog.xml")
  local band = w:getChild(10)
  local calls = 0
  local function onUp() calls = calls + 1 end
  band:addHandler(LButtonUp, onUp)
  band:removeHandler(LButtonUp, onUp)
  local other = w:getChild(12)
  other:addHandler(LButtonUp, function()
    w:endDialog(1)
    return true
  end)
  later(w, 100, function()
    test_click(band)
    test_click(other)
  end)
  expectEq(runDialog(w), 1, "ended by the second click")
  expectEq(calls, 0, "the removed handler was not called")
end)

case("a handler that removes itself during delivery lets the later ones run", function()
  local w = createWindow("dialog.xml")
  local band = w:getChild(11)
  local log = {}
  local first
  first = function()
    log[#log + 1] = "first"
    band:removeHandler(LButtonUp, first)
  end
  band:addHandler(LButtonUp, first)
  band:addHandler(LButtonUp, function()
    log[#log + 1] = "second"
    if #log >= 3 then
      w:endDialog(1)
    end
    return true
  end)
  later(w, 100, function()
    test_click(band)
    later(w, 100, function() test_click(band) end)
  end)
  expectEq(runDialog(w), 1, "ended")
  expectEq(table.concat(log, ","), "first,second,second", "delivery order")
end)

case("a QueryCursor handler with setCursor(32649) shows the hand", function()
  local w = createWindow("dialog.xml")
  local band = w:getChild(11)
  band:addHandler(QueryCursor, function()
    w:setCursor(32649)
    return true
  end)
  local hand = false
  later(w, 100, function()
    test_moveTo(band)
    hand = test_pumpUntil(test_cursorIsHand, 3000)
    w:endDialog(1)
  end)
  expectEq(runDialog(w), 1, "ended")
  expect(hand, "the hand cursor is current over the control")
end)
