-- UI script: the framework glue the native bridge calls by name, then the installer's own window.

---------------------------------------------------------------------------------------------------
-- Framework glue. The native side passes the registry table (__window, __timer, __control) as the
-- first argument; these functions are the only ones that read or write those tables.
---------------------------------------------------------------------------------------------------

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

-- Windows: a sequence of {window table, handle, message handler}.
function lua_addWindow(tbl, obj, handle)
  tbl[#tbl + 1] = { obj, handle }
end

function lua_removeWindow(tbl, handle)
  for i = 1, #tbl do
    if tbl[i][2] == handle then
      table.remove(tbl, i)
      return
    end
  end
end

function lua_queryWindow(tbl, handle)
  for i = 1, #tbl do
    if tbl[i][2] == handle then
      return tbl[i][1]
    end
  end
end

function lua_queryWindowHandle(tbl, obj)
  for i = 1, #tbl do
    if tbl[i][1] == obj then
      return tbl[i][2]
    end
  end
  return 0
end

function lua_setMessageHandler(tbl, obj, func)
  for i = 1, #tbl do
    if tbl[i][1] == obj then
      tbl[i][3] = func
      return
    end
  end
end

function lua_invokeMessageHandler(tbl, obj, param)
  for i = 1, #tbl do
    if tbl[i][1] == obj then
      if not tbl[i][3] then
        return 0
      end
      return tbl[i][3](param)
    end
  end
  return 0
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

function lua_queryControl(tbl, handle)
  local triple = tbl[2][handle]
  if triple then
    return triple[1]
  end
end

function lua_queryControlHandle(tbl, obj)
  local triple = tbl[1][obj]
  if triple then
    return triple[2]
  end
end

function lua_queryControlDispatcher(tbl, obj)
  local triple = tbl[1][obj]
  if triple then
    return triple[3]
  end
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
  for i = 1, #tbl do
    if tbl[i][1] == timer then
      tbl[i][2]()
      return
    end
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

-- end of framework glue

---------------------------------------------------------------------------------------------------
-- The installer's window follows here once the window functions exist.
---------------------------------------------------------------------------------------------------
