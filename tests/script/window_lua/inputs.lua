-- Control methods on real controls of a layout (check box, labels, Edit, TextBox), driven with real
-- mouse and keyboard input.
local GotFocus, PrevKeyPress, LostCapture, LButtonDown = 2, 8, 11, 13
local MouseEnter, QueryCursor, Click, ValueChange = 26, 28, 30, 31
local Transparent, Hover, Checked = 10, 4, 14

case("controls without text answer the empty string from getText", function()
  local w = createWindow("inputs.xml")
  expectEq(w:getChild(22):getText(), "", "label without text")
  expectEq(w:getChild(23):getText(), "", "empty Edit")
  expectEq(w:getChild(24):getText(), "", "empty TextBox")
  expectEq(w:getChild(20):getText(), "", "check box")
  expectEq(w:getChild(21):getText(), "Desktop shortcut", "a label's text")
  test_destroyWindow(test_hwnd(w))
end)

case("setText with the text a label shows already asks for no repaint", function()
  local w = createWindow("inputs.xml")
  local label = w:getChild(21)
  test_drainPosted(1000)
  label:setText("Desktop shortcut")
  expect(not test_repaintPending(w), "the same text repaints nothing")
  label:setText("Start menu shortcut")
  expect(test_repaintPending(w), "a new text asks for a repaint")
  expectEq(label:getText(), "Start menu shortcut", "the new text")
  test_destroyWindow(test_hwnd(w))
end)

case("setCheck raises ValueChange only on a change; a real click toggles with one more", function()
  local w = createWindow("inputs.xml")
  local box = w:getChild(20)
  expectEq(box:getName(), "Button", "type name")
  local changes, clicks, checkedInClick = 0, 0, nil
  box:addHandler(ValueChange, function() changes = changes + 1 end)
  box:addHandler(Click, function()
    clicks = clicks + 1
    checkedInClick = box:getCheck()
  end)
  expectEq(box:getCheck(), false, "starts unchecked")
  box:setCheck(true)
  expectEq(changes, 1, "one ValueChange")
  expectEq(box:getCheck(), true, "getCheck agrees")
  expect(box:readFlag(Checked), "the checked flag bit")
  box:setCheck(true)
  expectEq(changes, 1, "no ValueChange when the value stays")
  expectEq(box:getCheck(), true, "still checked")
  local afterClick
  later(w, 100, function()
    test_click(box)
    test_pumpUntil(function() return clicks >= 1 end, 3000)
    afterClick = { clicks = clicks, changes = changes, checked = box:getCheck() }
    box:setCheck(false)
    w:endDialog(1)
  end)
  expectEq(runDialog(w), 1, "ended")
  expectEq(afterClick.clicks, 1, "one Click")
  expectEq(afterClick.changes, 2, "the click raised exactly one ValueChange")
  expectEq(afterClick.checked, false, "the click unchecked it")
  expectEq(checkedInClick, false, "the Click handler sees the new state")
  expectEq(changes, 2, "setCheck(false) on an unchecked box raises none")
end)

case("a label receives MouseEnter and LButtonDown only after writeFlag(10, false)", function()
  local w = createWindow("inputs.xml")
  local canvas, label, empty = w:getChild(2), w:getChild(21), w:getChild(22)
  expect(label:readFlag(Transparent), "a label starts transparent to the mouse")
  local enters, downs, canvasDowns = 0, 0, 0
  label:addHandler(MouseEnter, function() enters = enters + 1 end)
  label:addHandler(LButtonDown, function() downs = downs + 1 end)
  canvas:addHandler(LButtonDown, function() canvasDowns = canvasDowns + 1 end)
  local before, after = {}, {}
  later(w, 100, function()
    test_click(label)
    before.reached = test_pumpUntil(function() return canvasDowns >= 1 end, 3000)
    before.enters, before.downs, before.hover = enters, downs, label:readFlag(Hover)
    label:writeFlag(Transparent, false)
    -- Away and back again: hover is worked out anew on the next move.
    test_moveTo(empty)
    test_click(label)
    after.reached = test_pumpUntil(function() return canvasDowns >= 2 end, 3000)
    after.enters, after.downs, after.hover = enters, downs, label:readFlag(Hover)
    w:endDialog(1)
  end)
  expectEq(runDialog(w), 1, "ended")
  expect(before.reached, "the press over the transparent label reached the panel beneath")
  expectEq(before.enters, 0, "no MouseEnter while transparent")
  expectEq(before.downs, 0, "no LButtonDown while transparent")
  expectEq(before.hover, false, "no hover while transparent")
  expect(after.reached, "the press bubbled on to the panel")
  expectEq(after.enters, 1, "one MouseEnter once hit-testable")
  expectEq(after.downs, 1, "one LButtonDown once hit-testable")
  expectEq(after.hover, true, "hovered")
end)

-- Types `typed` with real keys into the focused field and waits until its text is `expected`; a
-- PrevKeyPress handler refuses ':'. Answers whether every character had a key and the text arrived,
-- and the refused count.
local function typeWithoutColon(field, typed, expected)
  local refused = 0
  field:addHandler(PrevKeyPress, function(_, _, ch)
    if ch == 58 then
      refused = refused + 1
      return true
    end
  end)
  local keyed = test_typeText(typed)
  local arrived = test_pumpUntil(function() return field:getText() == expected end, 5000)
  return keyed and arrived, refused
end

case("a PrevKeyPress handler answering true keeps ':' out of an Edit and a TextBox", function()
  local w = createWindow("inputs.xml")
  local edit, box = w:getChild(23), w:getChild(24)
  local results = {}
  later(w, 100, function()
    results.front = test_bringToFront(test_hwnd(w))
    local focused = 0
    edit:addHandler(GotFocus, function() focused = focused + 1 end)
    edit:setFocus()
    results.editFocused = focused == 1 and edit:readFlag(2)
    results.editArrived, results.editRefused = typeWithoutColon(edit, "C:\\Tarvo: 1", "C\\Tarvo 1")
    results.editText = edit:getText()
    box:setFocus()
    results.boxFocused = box:readFlag(2) and not edit:readFlag(2)
    local boxChanges = 0
    box:addHandler(ValueChange, function() boxChanges = boxChanges + 1 end)
    results.boxArrived, results.boxRefused = typeWithoutColon(box, "D:\\a:b", "D\\ab")
    results.boxText = box:getText()
    results.boxChanges = boxChanges
    results.editAfter = edit:getText()
    w:endDialog(1)
  end)
  expectEq(runDialog(w), 1, "ended")
  expect(results.front, "the window has the keyboard")
  expect(results.editFocused, "setFocus focused the Edit")
  expect(results.editArrived, "Edit text")
  expectEq(results.editText, "C\\Tarvo 1", "Edit text")
  expectEq(results.editRefused, 2, "both colons reached the handler")
  expect(results.boxFocused, "setFocus moved the focus to the TextBox")
  expect(results.boxArrived, "TextBox text")
  expectEq(results.boxText, "D\\ab", "TextBox text")
  expectEq(results.boxRefused, 2, "both colons reached the handler")
  expectEq(results.boxChanges, 4, "one ValueChange per character that arrived, none for a refused one")
  expectEq(results.editAfter, "C\\Tarvo 1", "typing into the TextBox left the Edit alone")
end)

case("a disabled check box takes no click and keeps its handlers; enabled again it clicks", function()
  local w = createWindow("inputs.xml")
  local box, label = w:getChild(20), w:getChild(21)
  label:writeFlag(Transparent, false)
  local clicks, changes, labelDowns = 0, 0, 0
  box:addHandler(Click, function() clicks = clicks + 1 end)
  box:addHandler(ValueChange, function() changes = changes + 1 end)
  label:addHandler(LButtonDown, function() labelDowns = labelDowns + 1 end)
  box:setEnabled(false)
  local disabled, enabled = {}, {}
  later(w, 100, function()
    test_click(box)
    -- Input is handled in order and posted events before later input: once the label has its
    -- press, the box's click and any Click it posted are done with.
    test_click(label)
    disabled.reached = test_pumpUntil(function() return labelDowns >= 1 end, 3000)
    disabled.clicks, disabled.changes, disabled.checked = clicks, changes, box:getCheck()
    box:setEnabled(true)
    test_click(box)
    enabled.reached = test_pumpUntil(function() return clicks >= 1 end, 3000)
    enabled.clicks, enabled.changes, enabled.checked = clicks, changes, box:getCheck()
    w:endDialog(1)
  end)
  expectEq(runDialog(w), 1, "ended")
  expect(disabled.reached, "the later press arrived")
  expectEq(disabled.clicks, 0, "no Click while disabled")
  expectEq(disabled.changes, 0, "no ValueChange while disabled")
  expectEq(disabled.checked, false, "still unchecked")
  expect(enabled.reached, "the Click handler kept across disabling")
  expectEq(enabled.clicks, 1, "one Click once enabled")
  expectEq(enabled.changes, 1, "one ValueChange once enabled")
  expectEq(enabled.checked, true, "checked by the click")
end)

case("a hidden check box takes no press or click", function()
  local w = createWindow("inputs.xml")
  local box, label = w:getChild(20), w:getChild(21)
  label:writeFlag(Transparent, false)
  local clicks, boxDowns, labelDowns = 0, 0, 0
  box:addHandler(Click, function() clicks = clicks + 1 end)
  box:addHandler(LButtonDown, function() boxDowns = boxDowns + 1 end)
  label:addHandler(LButtonDown, function() labelDowns = labelDowns + 1 end)
  local result = {}
  later(w, 100, function()
    box:setVisible(false)
    test_click(box)
    test_click(label)  -- once its press is handled, the box's click is done with
    result.reached = test_pumpUntil(function() return labelDowns >= 1 end, 3000)
    result.boxDowns, result.clicks, result.visible = boxDowns, clicks, box:getVisible()
    w:endDialog(1)
  end)
  expectEq(runDialog(w), 1, "ended")
  expect(result.reached, "the later press arrived")
  expectEq(result.boxDowns, 0, "no LButtonDown on the hidden box")
  expectEq(result.clicks, 0, "no Click on the hidden box")
  expectEq(result.visible, false, "getVisible agrees")
end)

case("a QueryCursor handler that returns nothing lets the window's arrow come back", function()
  local w = createWindow("inputs.xml")
  local box, label = w:getChild(20), w:getChild(21)
  local hand, queries = true, 0
  box:addHandler(QueryCursor, function()
    queries = queries + 1
    if hand then
      w:setCursor(32649)
      return true
    end
  end)
  local result = {}
  later(w, 100, function()
    test_moveTo(box)
    result.hand = test_pumpUntil(function() return test_cursorIs(32649) end, 3000)
    hand = false
    local before = queries
    test_moveTo(label)
    test_moveTo(box)
    result.asked = test_pumpUntil(function() return queries > before end, 3000)
    result.arrow = test_pumpUntil(function() return test_cursorIs(32512) end, 3000)
    w:endDialog(1)
  end)
  expectEq(runDialog(w), 1, "ended")
  expect(result.hand, "the hand while the handler answers true")
  expect(result.asked, "the handler was asked again")
  expect(result.arrow, "the arrow once it answers nothing")
end)

case("a click counts where the button was released, not where the pointer is when it is handled", function()
  local w = createWindow("inputs.xml")
  local box, label = w:getChild(20), w:getChild(21)
  local clicks, lostCaptures = 0, 0
  box:addHandler(Click, function() clicks = clicks + 1 end)
  box:addHandler(LostCapture, function() lostCaptures = lostCaptures + 1 end)
  local result = {}
  later(w, 100, function()
    -- The input of each half is queued before the window handles any of it.
    -- Released over the box; the pointer is on the label by then.
    test_click(box)
    test_moveTo(label)
    result.inside = test_pumpUntil(function() return clicks >= 1 end, 3000)
    -- Pressed on the box, released over the label; the pointer is back on the box by then.
    local clicksBefore, capturesBefore = clicks, lostCaptures
    test_moveTo(box)
    test_mouseDown()
    test_moveTo(label)
    test_mouseUp()
    test_moveTo(box)
    result.released = test_pumpUntil(function() return lostCaptures > capturesBefore end, 3000)
    result.drained = test_drainPosted(3000)  -- a Click the release posted would have run by now
    result.outside = clicks - clicksBefore
    result.checked = box:getCheck()
    w:endDialog(1)
  end)
  expectEq(runDialog(w), 1, "ended")
  expect(result.inside, "a release inside raised Click")
  expect(result.released, "the second release was handled")
  expect(result.drained, "posted events delivered")
  expectEq(result.outside, 0, "a release outside raised none")
  expectEq(result.checked, true, "toggled once")
end)
