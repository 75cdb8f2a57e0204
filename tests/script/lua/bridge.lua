-- The bridge: one table per control, handlers and their native delegate, methods after destruction.
local Click, ValueChange = 30, 31

local function entries()
  local n = 0
  for _ in pairs(debug.getregistry().__control[2]) do
    n = n + 1
  end
  return n
end

case("a control gets one table, and every later hand-over answers the same table", function()
  local t = test_newControl("Control")
  local h = test_handleOf(t)
  expect(type(h) == "number" and h ~= 0, "handle is a number")
  expect(rawequal(test_pushControl(h), t), "identity kept")
  expect(rawequal(test_pushControl(h), t), "identity kept twice")
  expect(t:readFlag(18), "has-script-object set")
  expect(getmetatable(t) == nil and type(t.getText) == "function", "plain table of functions")
end)

case("a control the script never looked at has no table until the first navigation", function()
  local panel = test_newControl("Panel", 2)
  local before = entries()
  local first = panel:getFirstChild()
  expectEq(entries(), before + 1, "exactly one table created")
  expect(rawequal(panel:getFirstChild(), first), "same table later")
  expect(rawequal(panel:getChild(0), first), "getChild(0) is the first child")
  expect(rawequal(panel:getChild(-2), first), "negative index is the first child")
  expect(rawequal(panel:getLastChild(), panel:getChild(1)), "getLastChild answers the last child")
  local second = panel:getChild(1)
  expect(second and not rawequal(second, first), "second child")
  expect(rawequal(first:getNext(), second), "getNext")
  expect(rawequal(second:getPrevious(), first), "getPrevious")
  expect(rawequal(first:getParent(), panel), "getParent")
  expectEq(panel:getChild(2), nil, "past the end")
  expectEq(panel:getParent(), nil, "no parent")
  expectEq(first:getWindow(), nil, "no script window")
end)

case("methods on the table of a destroyed control answer nothing", function()
  local t = test_newControl("Control")
  t:setText("before")
  test_destroy(t)
  expectEq(count(t:getText()), 0, "getText answers nothing")
  expectEq(count(t:setText("x")), 0, "setText answers nothing")
  expectEq(count(t:getVisible()), 0, "getVisible answers nothing")
  expectEq(t:getName(), "nil", "getName answers nil")
  expectEq(test_handleOf(t), nil, "unregistered")
  expectEq(count(t:addHandler(Click, function() end)), 0, "addHandler does nothing")
end)

case("a second handler for an id adds no second delegate; removing the last removes it", function()
  local t = test_newControl("Control")
  local p0 = test_poolAvailable()
  local f1, f2 = function() end, function() end
  t:addHandler(Click, f1)
  expectEq(test_poolAvailable(), p0 - 1, "first handler attaches one delegate")
  t:addHandler(Click, f2)
  expectEq(test_poolAvailable(), p0 - 1, "second handler attaches none")
  t:removeHandler(Click, function() end)
  expectEq(test_poolAvailable(), p0 - 1, "removing an unknown function changes nothing")
  t:removeHandler(Click, f1)
  expectEq(test_poolAvailable(), p0 - 1, "one handler left")
  t:removeHandler(Click, f2)
  expectEq(test_poolAvailable(), p0, "the last one detaches the delegate")
  expectEq(test_raise(t, Click, 0, 0), false, "no script call after removal")
end)

case("handlers run in order; false lets the next run, the first true stops the rest", function()
  local t = test_newControl("Control")
  local calls = {}
  t:addHandler(Click, function(sender, id, wp, lp)
    calls[#calls + 1] = "a"
    expect(rawequal(sender, t), "sender is the control's table")
    expectEq(id, Click, "id")
    expectEq(wp, 5, "wparam")
    expectEq(lp, -6, "lparam")
    return false
  end)
  t:addHandler(Click, function() calls[#calls + 1] = "b" end)
  t:addHandler(Click, function() calls[#calls + 1] = "c" return 1 end)
  t:addHandler(Click, function() calls[#calls + 1] = "d" return true end)
  expectEq(test_raise(t, Click, 5, -6), true, "handled")
  expectEq(table.concat(calls), "abc", "order and stop")
  calls = {}
  local u = test_newControl("Control")
  u:addHandler(Click, function() calls[#calls + 1] = "x" end)
  expectEq(test_raise(u, Click, 0, 0), false, "nothing true: not handled")
  expectEq(table.concat(calls), "x", "ran once")
end)

case("the same function added twice runs twice", function()
  local t = test_newControl("Control")
  local n = 0
  local f = function() n = n + 1 end
  t:addHandler(Click, f)
  t:addHandler(Click, f)
  test_raise(t, Click, 0, 0)
  expectEq(n, 2, "two calls")
end)

case("text crosses the boundary unchanged: Chinese, embedded zero, numbers, nil", function()
  local t = test_newControl("Control")
  expectEq(t:getText(), "", "no text is the empty string")
  t:setText("正在安装30%...")
  expectEq(t:getText(), "正在安装30%...", "Chinese round trip")
  t:setText("ab\0cd")
  expectEq(t:getText(), "ab", "embedded zero ends the text")
  t:setText(12.5)
  expectEq(t:getText(), "12.5", "number as its text")
  t:setText(nil)
  expectEq(t:getText(), "", "nil is empty")
end)

case("type names choose the extra methods", function()
  local c = test_newControl("Control")
  local b = test_newControl("Button")
  local p = test_newControl("Panel", 0)
  expectEq(c:getName(), "Control", "Control")
  expectEq(b:getName(), "Button", "Button")
  expectEq(p:getName(), "Panel", "Panel")
  expectEq(c.setCheck, nil, "no setCheck on Control")
  expectEq(c.getFirstChild, nil, "no getFirstChild on Control")
  expect(b.setCheck and b.getCheck, "Button methods")
  expect(p.getFirstChild and p.getChild, "Panel methods")
  expectEq(p:getFirstChild(), nil, "empty panel")
end)

case("setCheck raises ValueChange only when the checked flag changes", function()
  local b = test_newControl("Button")
  local changes = 0
  b:addHandler(ValueChange, function() changes = changes + 1 end)
  b:setCheck(true)
  b:setCheck(true)
  expectEq(changes, 1, "one ValueChange")
  expectEq(b:getCheck(), true, "checked")
  b:setCheck(false)
  expectEq(changes, 2, "unchecking raises one more")
end)

case("flags, visibility and enabled state", function()
  local t = test_newControl("Control")
  expectEq(t:readFlag(10), false, "not transparent")
  t:writeFlag(10, true)
  expectEq(t:readFlag(10), true, "transparent")
  expectEq(t:readFlag(42), true, "bit number taken modulo 32")
  t:writeFlag(10, false)
  expectEq(t:getVisible(), true, "visible")
  t:setVisible(false)
  expectEq(t:getVisible(), false, "hidden")
  t:setEnabled(false)
  expectEq(t:getEnabled(), false, "disabled")
  t:setColor(0x3333CC)
  t:setStyle("btn")
  t:setToolTip("提示")
  expectEq(count(t:repaint()), 0, "repaint answers nothing")
end)

case("a handler that removes itself or others leaves the running call intact", function()
  local tbl, calls = {}, {}
  local a, b, c
  a = function() calls[#calls + 1] = "a" lua_removeHandler(tbl, Click, a) end
  b = function() calls[#calls + 1] = "b" lua_removeHandler(tbl, Click, c) end
  c = function() calls[#calls + 1] = "c" return true end
  for _, f in ipairs({ a, b, c }) do lua_addHandler(tbl, Click, f) end
  local ok, handled = pcall(lua_invokeHandlers, tbl, nil, Click, 0, 0)
  expect(ok, "no error: " .. tostring(handled))
  expectEq(table.concat(calls), "abc", "every handler of the call ran, in order")
  expectEq(handled, true, "the last one's true answer counts")
  calls = {}
  expectEq(lua_invokeHandlers(tbl, nil, Click, 0, 0), nil, "later calls see the removals")
  expectEq(table.concat(calls), "b", "only b is left")
end)
