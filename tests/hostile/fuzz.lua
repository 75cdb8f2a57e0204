-- The script side of the hostile-input campaign. fuzz_run(seed, steps) opens windows from the test
-- layouts and calls every window function and control method with random arguments in random order,
-- also from inside event handlers, timers and message handlers, while windows open and close. Each
-- call runs protected: an error reaching it that this driver did not raise itself escaped the engine's
-- own error path and is reported through fuzz_escape.

local DELIBERATE = "hostile: deliberate error"

local state = 1
local function rnd(n)
  state = (state * 16807) % 2147483647
  return state % n
end
local function pick(list)
  if #list == 0 then return nil end
  return list[rnd(#list) + 1]
end

local WINDOW_METHODS = { "getRoot", "getChild", "setPosition", "getPosition", "centerScreen",
  "browseForFolder", "showDialog", "endDialog", "updateLayout", "setMessageHandler", "setIcon",
  "setTitle", "setCursor", "showWindow", "showMessageBox", "setTimer", "killTimer" }
local CONTROL_METHODS = { "getWindow", "getParent", "getPrevious", "getNext", "getEnabled", "setEnabled",
  "setVisible", "getVisible", "setFocus", "setStyle", "repaint", "addHandler", "removeHandler", "getName",
  "setText", "getText", "setToolTip", "setColor", "writeFlag", "readFlag", "setCheck", "getCheck",
  "getFirstChild", "getLastChild", "getChild", "playStart", "playStop", "setRange", "setPosition" }

local windows, controls, timers, functions = {}, {}, {}, {}
local layouts
local steps_left, depth, dialogs = 0, 0, 0
local act

local function call(f, ...)
  if type(f) ~= "function" then return end
  local results = table.pack(pcall(f, ...))
  if not results[1] then
    local message = tostring(results[2])
    if not message:find(DELIBERATE, 1, true) then fuzz_escape(message) end
    return
  end
  return table.unpack(results, 2, results.n)
end

local function remember(list, value, limit)
  if value ~= nil and #list < limit then list[#list + 1] = value end
end

-- A handler, timer or message function: does a few random things, may fail on purpose, answers a
-- random value.
local function action(quiet)
  local mode = quiet and 1 or rnd(40)
  local f = function(...)
    fuzz_step()
    if mode == 0 then error(DELIBERATE) end
    if depth < 5 and steps_left > 0 then
      depth = depth + 1
      for _ = 1, 1 + rnd(2) do call(act) end
      depth = depth - 1
    end
    local r = rnd(5)
    if r == 0 then return true elseif r == 1 then return 1 elseif r == 2 then return "7" elseif r == 3 then return {} end
  end
  remember(functions, f, 30)
  return f
end

local function value()
  local k = rnd(26)
  if k == 0 then return nil elseif k == 1 then return true elseif k == 2 then return false
  elseif k == 3 then return 0 / 0 elseif k == 4 then return math.huge elseif k == 5 then return -math.huge
  elseif k == 6 then return 2 ^ 31 elseif k == 7 then return -2 ^ 31 - 1 elseif k == 8 then return 2 ^ 63
  elseif k == 9 then return -1 elseif k == 10 then return rnd(40) elseif k == 11 then return 1e300
  elseif k == 12 then return "" elseif k == 13 then return string.rep("W", rnd(4) == 0 and 100000 or 300)
  elseif k == 14 then return "\255\254\195\40" elseif k == 15 then return "中文文本"
  elseif k == 16 then return "12abc" elseif k == 17 then return {}
  elseif k == 18 then return pick(controls) elseif k == 19 then return pick(windows)
  elseif k == 20 then return action() elseif k == 21 then return { pick(controls), pick(windows) }
  elseif k == 22 then return pick(timers) elseif k == 23 then return pick(functions) or print
  elseif k == 24 then return "button.xml" else return 0.5 end
end

local function args(n)
  local list = {}
  for i = 1, n do list[i] = value() end
  return table.unpack(list, 1, n)
end

-- Walks a little of a window's tree, remembering the control tables met.
local function explore(w)
  local c = call(w.getRoot, w) or call(w.getChild, w, rnd(120))
  for _ = 1, 6 do
    if type(c) ~= "table" then return end
    remember(controls, c, 200)
    local step = rnd(5)
    if step == 0 then c = call(c.getFirstChild, c)
    elseif step == 1 then c = call(c.getNext, c)
    elseif step == 2 then c = call(c.getChild, c, rnd(5))
    elseif step == 3 then c = call(c.getParent, c)
    else c = call(c.getFirstChild, c) or call(c.getNext, c) end
  end
end

local function open_window()
  local style
  if rnd(3) == 0 then style = pick({ 0x80000000 + 0x10000000, 0, -1, 0x10000000, 2 ^ 40 }) end
  local w
  if style then w = call(createWindow, pick(layouts), style) else w = call(createWindow, pick(layouts)) end
  if type(w) == "table" then
    remember(windows, w, 60)
    explore(w)
  end
end

local function run_dialog(w)
  if dialogs >= 3 or type(w) ~= "table" then return end
  local ticks = 1 + rnd(6)
  local h = call(w.setTimer, w, 1 + rnd(15), function()
    fuzz_step()
    ticks = ticks - 1
    if ticks > 0 and steps_left > 0 and depth < 5 then
      depth = depth + 1
      call(act)
      depth = depth - 1
      return
    end
    call(w.endDialog, w, 1 + rnd(5))
  end)
  remember(timers, h, 40)
  dialogs = dialogs + 1
  if rnd(2) == 0 then call(w.showDialog, w, pick(windows)) else call(w.showDialog, w) end
  dialogs = dialogs - 1
end

act = function()
  steps_left = steps_left - 1
  fuzz_step()
  local k = rnd(100)
  if k < 10 or #windows == 0 then
    open_window()
  elseif k < 50 and #controls > 0 then
    local name = pick(CONTROL_METHODS)
    local target = pick(controls)
    local f = target[name] or (pick(controls) or {})[name]
    local self = rnd(10) == 0 and value() or target
    if name == "addHandler" or name == "removeHandler" then
      call(f, self, rnd(4) == 0 and value() or rnd(40), rnd(25) == 0 and value() or action())
    else
      local r = table.pack(call(f, self, args(rnd(3))))
      for i = 1, r.n do if type(r[i]) == "table" then remember(controls, r[i], 200) end end
    end
  elseif k < 70 then
    local name = pick(WINDOW_METHODS)
    local w = pick(windows)
    local self = rnd(10) == 0 and value() or w
    if name == "showDialog" then
      run_dialog(w)
    elseif name == "setTimer" then
      -- A timer whose function fails raises an error box on every tick: known, and mended elsewhere.
      remember(timers, call(w.setTimer, self, rnd(3) == 0 and value() or rnd(30), action(true)), 40)
    elseif name == "setMessageHandler" then
      call(w.setMessageHandler, self, rnd(25) == 0 and value() or action())
    else
      local r = table.pack(call(w[name], self, args(rnd(4))))
      for i = 1, r.n do if type(r[i]) == "table" then remember(controls, r[i], 200) end end
    end
  elseif k < 78 then
    explore(pick(windows))
  elseif k < 86 then
    call(fuzz_input, pick(windows), rnd(1000000))
  elseif k < 92 then
    call(fuzz_notify, pick({ "{code=4,pos=1,text='x'}", "{code=2}", "", "((", string.rep("{", 300),
      "return 1", "{code=1e308}", "中文" }))
  elseif k < 95 then
    call(fuzz_destroy, pick(windows))
  elseif k < 98 then
    fuzz_pump()
  else
    call(collectgarbage)
  end
end

function fuzz_run(seed, steps)
  state = (seed % 2147483646) + 1
  layouts = fuzz_layouts()
  steps_left = steps
  while steps_left > 0 do call(act) end
  for _, w in ipairs(windows) do call(fuzz_destroy, w) end
end
