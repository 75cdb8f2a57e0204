-- The uninstaller's UI script. The framework glue is the product's glue.lua, which tarvo build runs
-- before this script.

---------------------------------------------------------------------------------------------------
-- The uninstaller. Started as "UninstallString" names it, from the install folder, it copies itself
-- to the temporary folder and starts the copy, which does the work, so that the install folder and
-- unins000.exe itself can go. The copy learns the folder from an environment variable that it
-- inherits; it asks the system to delete the copy at the next restart.
---------------------------------------------------------------------------------------------------

local SW_NORMAL = 1
local MB_OK, MB_OKCANCEL, MB_YESNO, MB_RETRYCANCEL = 0, 1, 4, 5
local MB_ICONQUESTION, MB_ICONEXCLAMATION = 32, 48
local IDOK, IDCANCEL, IDYES = 1, 2, 6

local VERSION = "9.0.4.6"
local PROGRAM = "TarvoVirtualCameraUI.exe"
local UNINSTALLER = "unins000.exe"
local UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DuvureVEdadiz"
local FOLDER_VARIABLE = "TARVO_UNINSTALL_FOLDER"  -- the install folder, hex-encoded UTF-8
local COPY_NAME = "tarvo_unins000.exe"

local uninstallComplete
local restartComputer
local progressRange  -- the range of the last code 3 notification

-- The environment is read through the C library in the ANSI code page: the folder travels as hex.
local function toHex(text)
  return (string.gsub(text, ".", function(c) return string.format("%02X", string.byte(c)) end))
end

local function fromHex(text)
  if not text or not string.find(text, "^%x*$") or #text % 2 ~= 0 then
    return
  end
  return (string.gsub(text, "%x%x", function(h) return string.char(tonumber(h, 16)) end))
end

local function folderOf(path)
  return string.match(path or "", "^(.*\\)[^\\]+$")
end

local function samePath(a, b)
  return a ~= nil and b ~= nil and string.lower(a) == string.lower(b)
end

-- The configuration chunk for the worker: the path in a long bracket of a level it does not contain.
local function workConfig(path)
  local level = ""
  while string.find(path, "]" .. level .. "]", 1, true) do
    level = level .. "="
  end
  return "{installPath=[" .. level .. "[" .. path .. "]" .. level .. "]}"
end

-- First phase: from the install folder, start a copy in the temporary folder and end. The instance
-- mutex is let go first, so that the copy's own start-up can take it.
local function relaunchFromTemp(selfPath, installPath)
  local copy = getTempFolder() .. COPY_NAME
  if not copyFile(selfPath, copy) then
    showMessageBox("无法启动卸载程序，请稍后重试。", "错误", MB_OK + MB_ICONEXCLAMATION)
    return
  end
  setEnvVar(FOLDER_VARIABLE, toHex(installPath))
  releaseMutex()
  if not shellExecuteEx(copy, "", "open", SW_NORMAL, 0) then
    showMessageBox("无法启动卸载程序，请稍后重试。", "错误", MB_OK + MB_ICONEXCLAMATION)
    removeFile(copy)
  end
end

-- A folder the product was installed into: it is registered there, or its program is there.
local function isInstallFolder(path)
  return path ~= nil and (samePath(regQueryString(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "UninstallString"),
    path .. UNINSTALLER) or fileExists(path .. PROGRAM))
end

local function MessageHandler(window, t)
  local chunk = load("return " .. t)
  local ok, msg = false, nil
  if chunk then
    ok, msg = pcall(chunk)
  end
  if not ok or type(msg) ~= "table" then
    return 1
  end
  local code = msg.code
  if code == 2 then
    window:getChild(4000):setVisible(true)
    window:getChild(4012):setVisible(restartComputer == true)
    window:getChild(3000):setVisible(false)
    window:getChild(5000):setVisible(true)
    uninstallComplete = true
  elseif code == 3 then
    window:getChild(3001):setRange(msg.range)
    progressRange = msg.range
  elseif code == 4 then
    window:getChild(3001):setPosition(msg.position)
    if progressRange and progressRange > 0 then
      window:getChild(3002):setText(string.format("正在卸载%2d%%...", msg.position * 100 / progressRange))
    end
  elseif code == 5 then
    return window:showMessageBox("文件正在被其他程序使用，无法删除：\r\n" .. tostring(msg.file) ..
      "\r\n请关闭占用的程序后重试，或取消以在重启电脑后删除", "异常", MB_RETRYCANCEL + MB_ICONEXCLAMATION)
  elseif code == 6 then
    window:showMessageBox("卸载过程发生异常\r\n\r\n" .. tostring(msg.error), "错误", MB_OK + MB_ICONEXCLAMATION)
    window:endDialog(3)
    return 2
  elseif code == 7 then
    restartComputer = true
    markRestart()
  elseif code == 10 then
    local answer = window:showMessageBox("立即结束以下程序来继续卸载过程吗?\r\n" .. tostring(msg.file), "提示",
      MB_OKCANCEL + MB_ICONQUESTION)
    if answer == IDCANCEL then
      window:endDialog(3)
    end
    return answer
  end
  return 1
end

local function setupWindow(installPath)
  local window = createWindow("uninstall.xml")
  window:setIcon(2)
  window:setTitle("veze卸载程序")
  window:centerScreen()
  window:getChild(1012):setText(installPath)
  window:getChild(5001):setText("Ver: " .. VERSION)

  window:getChild(1005):addHandler(event.Click, function()
    window:endDialog(2)
  end)

  window:getChild(5000):addHandler(event.Click, function()
    if uninstallComplete then
      window:endDialog(3)
    elseif window:showMessageBox("卸载尚未开始，Vozizavuv 将保留在你的电脑中。\n\n退出卸载程序吗？", "退出卸载程序",
        MB_YESNO + MB_ICONQUESTION) == IDYES then
      window:endDialog(2)
    end
  end)

  window:getChild(1003):addHandler(event.Click, function()
    local program = installPath .. PROGRAM
    if isProcessRunning(program) then
      if window:showMessageBox("veze正在运行中，卸载前需要关闭veze。是否立即关闭？", "提示",
          MB_OKCANCEL + MB_ICONQUESTION) ~= IDOK then
        window:endDialog(2)
        return
      end
      killProcess(program)
    end
    window:getChild(3000):setVisible(true)
    window:getChild(1000):setVisible(false)
    window:getChild(5000):setVisible(false)
    startWork("LG.lua", "program.lz", workConfig(installPath))
  end)

  window:getChild(4002):addHandler(event.Click, function()
    window:endDialog(3)
  end)

  window:setMessageHandler(function(t) return MessageHandler(window, t) end)
  return window
end

local function main()
  local selfPath = getProcessPath()
  local installPath = fromHex(os.getenv(FOLDER_VARIABLE))
  if not installPath then
    installPath = folderOf(selfPath)
    if not isInstallFolder(installPath) then
      showMessageBox("未找到 Vozizavuv 的安装信息，无法卸载。", "提示", MB_OK + MB_ICONEXCLAMATION)
      return
    end
    return relaunchFromTemp(selfPath, installPath)
  end

  -- The copy in the temporary folder: it cannot delete itself while it runs.
  if samePath(folderOf(selfPath), getTempFolder()) then
    deleteAtRestart(selfPath)
  end
  if not isInstallFolder(installPath) then
    showMessageBox("未找到 Vozizavuv 的安装信息，无法卸载。", "提示", MB_OK + MB_ICONEXCLAMATION)
    return
  end
  setupWindow(installPath):showDialog()
  if restartComputer then
    if showMessageBox("部分文件需要重启电脑后才能删除，是否立即重启?", "提示", MB_OKCANCEL + MB_ICONQUESTION) == IDOK then
      reboot()
    end
  end
end

main()
