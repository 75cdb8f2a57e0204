-- The framework glue: what the native bridge calls by name, the event ids and the log functions, for
-- every UI script of a product. tarvo build runs it before UI.lua (and before uninstall/UI.lua) as a
-- chunk of its own named "glue.lua", so errors here name this file and its lines.
--
-- The native side passes the registry table (__window, __timer, __control) as the first argument;
-- these functions are the only ones that read or write those tables.

-- Control event handlers: tbl maps an event id to the list of script handlers in order.
function lua_addHandler(tbl, msg, func)
  local list = tbl[msg]
  if list then
    list[#list + 1] = func
    return
  end
  tbl[msg] = { func }
  return true
end

function lua_removeHandler(tbl, msg, func)
  local list = tbl[msg]
  if not list then
    return true
  end
  for i = 1, #list do
    if list[i] == func then
      table.remove(list, i)
      break
    end
  end
  if #list == 0 then
    tbl[msg] = nil
    return true
  end
end

-- Runs the handlers registered when the call began: a handler may add or remove handlers meanwhile.
function lua_invokeHandlers(tbl, sender, msg, wparam, lparam)
  local list = tbl[msg]
  if not list then
    return
  end
  local handlers = {}
  for i = 1, #list do
    handlers[i] = list[i]
  end
  for i = 1, #handlers do
    if handlers[i](sender, msg, wparam, lparam) then
      return true
    end
  end
end

-- The first entry of a sequence (windows, timers) whose element `at` is value, and its index.
local function findEntry(tbl, at, value)
  for i = 1, #tbl do
    if tbl[i][at] == value then
      return tbl[i], i
    end
  end
end

-- Windows: a sequence of {window table, handle, message handler}.
function lua_addWindow(tbl, obj, handle)
  tbl[#tbl + 1] = { obj, handle }
end

function lua_removeWindow(tbl, handle)
  local _, i = findEntry(tbl, 2, handle)
  if i then
    table.remove(tbl, i)
  end
end

function lua_queryWindow(tbl, handle)
  local entry = findEntry(tbl, 2, handle)
  if entry then
    return entry[1]
  end
end

function lua_queryWindowHandle(tbl, obj)
  local entry = findEntry(tbl, 1, obj)
  return entry and entry[2] or 0
end

function lua_setMessageHandler(tbl, obj, func)
  local entry = findEntry(tbl, 1, obj)
  if entry then
    entry[3] = func
  end
end

function lua_invokeMessageHandler(tbl, obj, param)
  local entry = findEntry(tbl, 1, obj)
  if not entry or not entry[3] then
    return 0
  end
  return entry[3](param)
end

-- Controls: tbl[1] maps a control table, tbl[2] a handle, to the triple {table, handle, dispatcher}.
function lua_addControl(tbl, obj, handle)
  local triple = { obj, handle, {} }
  tbl[1][obj] = triple
  tbl[2][handle] = triple
end

function lua_removeControl(tbl, handle)
  local triple = tbl[2][handle]
  if triple then
    tbl[1][triple[1]] = nil
    tbl[2][handle] = nil
  end
end

-- Element `field` of the triple that map `map` of tbl holds under key; nothing when there is none.
local function tripleField(tbl, map, key, field)
  local triple = tbl[map][key]
  if triple then
    return triple[field]
  end
end

function lua_queryControl(tbl, handle)
  return tripleField(tbl, 2, handle, 1)
end

function lua_queryControlHandle(tbl, obj)
  return tripleField(tbl, 1, obj, 2)
end

function lua_queryControlDispatcher(tbl, obj)
  return tripleField(tbl, 1, obj, 3)
end

-- Timers: a sequence of {timer handle, function, window handle}.
function lua_setTimer(tbl, timer, func, window)
  tbl[#tbl + 1] = { timer, func, window }
end

function lua_killTimer(tbl, timer, window)
  for i = 1, #tbl do
    if tbl[i][1] == timer and tbl[i][3] == window then
      table.remove(tbl, i)
      return
    end
  end
end

function lua_removeTimer(tbl, window)
  local i = 1
  while i <= #tbl do
    if tbl[i][3] == window then
      table.remove(tbl, i)
    else
      i = i + 1
    end
  end
end

function lua_onTimer(tbl, timer)
  local entry = findEntry(tbl, 1, timer)
  if entry then
    entry[2]()
  end
end

-- Event ids of the control events scripts can subscribe to.
event = {
  GotFocus = 2,
  LostFocus = 3,
  PrevKeyDown = 4,
  KeyDown = 5,
  PrevKeyUp = 6,
  KeyUp = 7,
  PrevKeyPress = 8,
  KeyPress = 9,
  GotCapture = 10,
  LostCapture = 11,
  PrevLButtonDown = 12,
  LButtonDown = 13,
  PrevLButtonUp = 14,
  LButtonUp = 15,
  PrevRButtonDown = 16,
  RButtonDown = 17,
  PrevRButtonUp = 18,
  RButtonUp = 19,
  LButtonDbClick = 20,
  RButtonDbClick = 21,
  PrevMouseWheel = 22,
  MouseWheel = 23,
  MouseMove = 25,
  MouseEnter = 26,
  MouseLeave = 27,
  QueryCursor = 28,
  Click = 30,
  ValueChange = 31,
  Notify = 32,
}

-- Diagnostics

function log_to_debugview(msg)
  os.execute('echo [LUA] ' .. tostring(msg) .. ' 1>&2')
end

local LOG_LEVELS = { DEBUG = 1, INFO = 2, WARN = 3, ERROR = 4 }

function log(level, message, output)
  local info = debug.getinfo(3, "Sl")
  local source = info and info.short_src or "unknown"
  local line = info and info.currentline or 0
  local text = string.format("[%s][%s:%d][%s] %s", os.date("%Y-%m-%d %H:%M:%S"), source, line,
    tostring(level), tostring(message))
  if output == "file" then
    local file = io.open("devbug.log", "a")
    if file then
      file:write(text, "\n")
      file:close()
    end
  else
    print(text)
  end
  if LOG_LEVELS[level] == LOG_LEVELS.ERROR then
    print(debug.traceback("ERROR TRACE:", 2))
  end
end
