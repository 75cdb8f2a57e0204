-- Program start and processes matched by full path or image name.
local tmp = test_tempFolder("tarvo_proc")
local sleeper = test_helperPath("sleeper.exe")

-- A copy of the sleeper under `name` in `folder`, started for `ms`; answers its full path.
local function startCopy(folder, name, ms)
  local path = folder .. name
  assert(copyFile(sleeper, path), "copy " .. path)
  assert(shellExecuteEx(path, tostring(ms or 20000), "open", 0, 0), "start " .. path)
  return path
end

local function running(path)
  return isProcessRunning(path) == true
end

case("shellExecuteEx without the wait flag answers true alone", function()
  expectEq(count(shellExecuteEx(sleeper, "10", "open", 0, 0)), 1, "one result")
  expectEq(shellExecuteEx(sleeper, "10", "open", 0, 0), true, "started")
end)

case("shellExecuteEx with 0x40 waits and answers the exit code", function()
  local ok, code = shellExecuteEx(sleeper, "200 7", "open", 0, 0x40)
  expectEq(ok, true, "started")
  expectEq(code, 7, "exit code")
  local ok2, code2 = shellExecuteEx(sleeper, "0 0", "open", 0, 64 + 1024)
  expectEq(ok2, true, "started with no-UI flag")
  expectEq(code2, 0, "exit code 0")
end)

case("shellExecuteEx of a missing program answers false", function()
  expectEq(shellExecuteEx(tmp .. "absent.exe", "", "open", 0, 0x440), false, "refused")
end)

case("isProcessRunning answers true for a running path and nothing (not false) otherwise", function()
  local path = startCopy(tmp, "tarvo_run1.exe")
  expect(waitFor(function() return running(path) end, 5000), "running by full path")
  expect(waitFor(function() return running(path:upper()) end, 1000), "path compared ignoring case")
  expectEq(count(isProcessRunning(tmp .. "tarvo_never.exe")), 0, "no result at all")
  expectEq(count(isProcessRunning(nil)), 0, "nil argument")
  killProcess(path)
  expectEq(count(isProcessRunning(path)), 0, "gone after killProcess")
end)

case("killProcess ends every process of that path and only those", function()
  local a = startCopy(tmp, "tarvo_kill_a.exe")
  assert(shellExecuteEx(a, "20000", "open", 0, 0))
  local b = startCopy(tmp, "tarvo_kill_b.exe")
  expect(waitFor(function() return select(2, test_processCount("tarvo_kill_a.exe")) == 2 and running(b) end,
    5000), "both copies of a and b running")
  killProcess(a)
  expectEq(count(isProcessRunning(a)), 0, "both copies of a ended")
  expectEq(test_processCount("tarvo_kill_a.exe"), 0, "no copy of a left")
  expect(running(b), "b untouched")
  killProcess(b)
  expectEq(count(isProcessRunning(b)), 0, "b ended")
end)

case("killProcessesByPath ends the folder's programs, then tarvovcamon.exe and vtarvostream.exe by name", function()
  local folder = test_tempFolder("tarvo_codecs")
  local other = test_tempFolder("tarvo_elsewhere")
  local k1 = startCopy(folder, "k1.exe")
  local k2 = startCopy(folder, "k2.exe")
  local mon = startCopy(other, "tarvovcamon.exe")
  local stream = startCopy(other, "vtarvostream.exe")
  local bystander = startCopy(other, "k1.exe")
  expect(waitFor(function() return running(k1) and running(k2) and running(mon) and running(stream)
    and running(bystander) end, 5000), "all running")
  killProcessesByPath(folder)
  expectEq(count(isProcessRunning(k1)), 0, "k1 ended")
  expectEq(count(isProcessRunning(k2)), 0, "k2 ended")
  expectEq(count(isProcessRunning(mon)), 0, "tarvovcamon.exe ended by name")
  expectEq(count(isProcessRunning(stream)), 0, "vtarvostream.exe ended by name")
  expect(running(bystander), "same name in another folder untouched")
  killProcess(bystander)
end)

case("getProcessPath is the running executable", function()
  expectEq(getProcessPath():lower(), test_helperPath("script_tests.exe"):lower(), "own path")
end)

