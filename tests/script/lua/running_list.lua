-- The running-product list: read it, and end the programs it names.
local tmp = test_tempFolder("tarvo_list")
local sleeper = test_helperPath("sleeper.exe")
local writer = test_helperPath("list_writer.exe")

local function startCopy(folder, name)
  local path = folder .. name
  assert(copyFile(sleeper, path), "copy " .. path)
  assert(shellExecuteEx(path, "20000", "open", 0, 0), "start " .. path)
  return path
end

local function running(path)
  return isProcessRunning(path) == true
end

-- Publishes `text` as the list through the writer program until stopList().
local function publish(text)
  assert(shellExecuteEx(writer, '"' .. text .. '" 20000', "open", 0, 0), "writer started")
  return waitFor(function() return getRunningProcess() == text end, 5000)
end

local function stopList()
  killProcess(writer)
end

case("without a writer the list is empty and getRunningProcess answers nothing", function()
  stopList()
  expectEq(count(getRunningProcess()), 0, "no result")
end)

case("getRunningProcess answers the published text unchanged", function()
  local text = tmp .. "产品.exe;other.exe;"
  expect(publish(text), "published")
  expectEq(getRunningProcess(), text, "text")
  stopList()
end)

case("killRunningProcess ends only pieces followed by a semicolon, then TarvoVirtualCamera.exe", function()
  local a = startCopy(tmp, "tarvo_la.exe")
  local b = startCopy(tmp, "tarvo_lb.exe")
  local camera = startCopy(tmp, "TarvoVirtualCamera.exe")
  expect(waitFor(function() return running(a) and running(b) and running(camera) end, 5000), "all running")
  expect(publish(a .. ";tarvo_lb.exe"), "published")
  killRunningProcess()
  expect(waitFor(function() return not running(a) end, 5000), "a ended (named by full path)")
  expect(waitFor(function() return not running(camera) end, 5000), "TarvoVirtualCamera.exe ended")
  expect(running(b), "b without a semicolon untouched")
  killProcess(b)
  stopList()
end)

case("killRunningProcess ends TarvoVirtualCamera.exe also without a list", function()
  stopList()
  local camera = startCopy(tmp, "TarvoVirtualCamera.exe")
  expect(waitFor(function() return running(camera) end, 5000), "running")
  killRunningProcess()
  expect(waitFor(function() return not running(camera) end, 5000), "ended")
end)

case("the list never ends the installer itself nor a program of the system or Windows folder", function()
  local sys = startCopy(test_systemFolder() .. "\\", "tarvo_sysprog.exe")
  local win = startCopy(test_windowsFolder() .. "\\", "tarvo_winprog.exe")
  local plain = startCopy(tmp, "tarvo_plain.exe")
  expect(waitFor(function() return running(sys) and running(win) and running(plain) end, 5000), "running")
  expect(publish("script_tests.exe;tarvo_sysprog.exe;tarvo_winprog.exe;" .. plain .. ";"), "published")
  killRunningProcess()
  expect(waitFor(function() return not running(plain) end, 5000), "an ordinary program is ended")
  expect(running(sys), "the system-folder program survives")
  expect(running(win), "the Windows-folder program survives")
  killProcess(sys)
  killProcess(win)
  removeFile(sys)
  removeFile(win)
  stopList()
end)
