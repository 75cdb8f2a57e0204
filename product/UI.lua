-- UI script: the installer's window. The framework glue the native bridge calls by name, the event
-- ids and `log` are glue.lua's, which tarvo build runs before this script.

local tinsert, tremove = table.insert, table.remove

local SW_HIDE, SW_SHOWNORMAL, SW_NORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED, SW_MAXIMIZE = 0, 1, 1, 2, 3, 3
local SW_SHOWNOACTIVATE, SW_SHOW, SW_MINIMIZE, SW_SHOWMINNOACTIVE, SW_SHOWNA, SW_RESTORE = 4, 5, 6, 7, 8, 9
local MB_OK, MB_OKCANCEL, MB_ABORTRETRYIGNORE, MB_YESNOCANCEL, MB_YESNO, MB_RETRYCANCEL = 0, 1, 2, 3, 4, 5
local MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION, MB_ICONASTERISK = 16, 32, 48, 64
local IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO = 1, 2, 3, 4, 5, 6, 7

local VERSION = "9.0.4.6"
local PRODUCT_FOLDER = "DuvureVEdadiz"
local PRODUCT_KEY = "Software\\DuvureVEdadiz"
local PROGRAM = "TarvoVirtualCameraUI.exe"
local AGREEMENT_URL = "https://www.example.com/vozizavuv/agreement.txt"
local HOME_PAGE = "https://www.example.com/vozizavuv/"

local installComplete
local restartComputer

-- The non-empty pieces of str between matches of the pattern sep, in order.
local function split(str, sep)
  local pieces = {}
  local start = 1
  while true do
    local first, last = string.find(str, sep, start)
    if not first then
      break
    end
    if first > start then
      tinsert(pieces, string.sub(str, start, first - 1))
    end
    start = last + 1
    if last < first then
      start = first + 1  -- an empty match advances by one character
    end
  end
  if start <= #str then
    tinsert(pieces, string.sub(str, start))
  end
  return pieces
end

local function replace(str, old, new)
  return (string.gsub(str, old, new))
end

-- drive .. ":\" followed by each name and a backslash.
local function createPath(drive, names)
  local path = drive .. ":\\"
  for _, name in ipairs(names) do
    path = path .. name .. "\\"
  end
  return path
end

local FULL_PATH_MESSAGE = "你必须输入带驱动器卷标的完整路径，例如：\n\nC:\\Program Files\\"

-- True when the path (ending in a backslash) names the folder its names spell: no name is "." or "..",
-- and the system's full form, with and without the last backslash, is the path itself. So no spelling
-- climbs out of the chosen folder or lands elsewhere (a drive root, a device, a name whose trailing
-- dots or spaces the system drops).
local function namesItsFolder(path, names)
  for _, name in ipairs(names) do
    if name == "." or name == ".." then
      return false
    end
  end
  for _, form in ipairs({ path, string.sub(path, 1, -2) }) do
    local full = getFullPath(form)
    if not full or string.lower(full) ~= string.lower(form) then
      return false
    end
  end
  return true
end

-- The install path a typed, pasted or stored text names, in the normal form; otherwise nothing and the
-- message that refuses it. Pasted text is not filtered as typed keys are, so the characters no folder
-- name may hold, control characters and a second colon are refused here.
local function parsePath(text)
  if text == nil or text == "" then
    return nil, "安装路径不能为空"
  end
  local parts = split(text, ":")
  if #parts == 1 and string.find(text, "^[^:]+:$") then
    parts[2] = ""  -- a bare drive such as C: names its root
  end
  local _, colons = string.gsub(text, ":", "")
  if #parts ~= 2 or colons ~= 1 or string.find(text, '[|?"<>*%c]') then
    return nil, FULL_PATH_MESSAGE
  end
  if not volumeExists(parts[1] .. ":\\") then
    return nil, "输入的盘符无效"
  end
  local names = split(replace(parts[2], "/", "\\"), "\\")
  if #names == 0 then
    return nil, "不能安装到盘符根路径"
  end
  local path = createPath(parts[1], names)
  if not namesItsFolder(path, names) then
    return nil, FULL_PATH_MESSAGE
  end
  return path
end

-- A stored path in the normal form, or nothing.
local function formatPath(path)
  return (parsePath(path))
end

-- The configuration chunk for the worker: the path in a long bracket of a level it does not contain.
local function workConfig(path)
  local level = ""
  while string.find(path, "]" .. level .. "]", 1, true) do
    level = level .. "="
  end
  return "{installPath=[" .. level .. "[" .. path .. "]" .. level .. "]}"
end

local function writeValue(root, key, name, value)
  if type(value) == "number" then
    regWriteInteger(root, key, name, value)
  else
    regWriteString(root, key, name, value)
  end
end

function RegisterTarvoVirtualCamera(path, registerLaunch)
  local program = path .. PROGRAM
  writeValue(HKEY_CURRENT_USER, PRODUCT_KEY, "InstallPath", path)
  writeValue(HKEY_CURRENT_USER, PRODUCT_KEY, "Run", program)
  writeValue(HKEY_CURRENT_USER, PRODUCT_KEY, "Version", VERSION)
  writeValue(HKEY_CURRENT_USER, PRODUCT_KEY, "New", 1)

  local policy = "SOFTWARE\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy\\" ..
    "{0D4E5A61-3C2B-4F7A-9E18-2B6C7D8E9F01}"
  writeValue(HKEY_LOCAL_MACHINE, policy, "AppName", PROGRAM)
  writeValue(HKEY_LOCAL_MACHINE, policy, "AppPath", path)
  writeValue(HKEY_LOCAL_MACHINE, policy, "Policy", 524291)

  writeValue(HKEY_CLASSES_ROOT, "rozoz", "", "URL:Tarvo直播专用链")
  writeValue(HKEY_CLASSES_ROOT, "rozoz", "URL Protocol", program)
  writeValue(HKEY_CLASSES_ROOT, "rozoz\\shell\\open\\command", "", '"' .. program .. '" %1')

  if registerLaunch then
    writeValue(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "TarvoVirtualCamera",
      program)
  end

  local uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DuvureVEdadiz"
  writeValue(HKEY_LOCAL_MACHINE, uninstall, "DisplayIcon", program)
  writeValue(HKEY_LOCAL_MACHINE, uninstall, "DisplayName", "Vozizavuv")
  writeValue(HKEY_LOCAL_MACHINE, uninstall, "DisplayVersion", VERSION)
  writeValue(HKEY_LOCAL_MACHINE, uninstall, "Publisher", "北京Tarvo科技有限公司")
  writeValue(HKEY_LOCAL_MACHINE, uninstall, "UninstallString", path .. "unins000.exe")
  writeValue(HKEY_LOCAL_MACHINE, uninstall, "URLInfoAbout", HOME_PAGE)

  shellExecuteEx("regsvr32", '/s "' .. path .. 'rirezirudaru.dll"', "open", 0, 64)

  local server = regQueryString(HKEY_CLASSES_ROOT,
    "CLSID\\{7A2C9E41-5B3D-4C6E-8F10-A1B2C3D4E5F6}\\InprocServer32", "")
  if server and server ~= "" then
    shellExecuteEx("regsvr32", '/s /u "' .. server .. '"', "open", 0, 64)
  end

  createShortCut(program, getDesktopFolder() .. "\\Vozizavuv.lnk")
end

local progressRange  -- the range of the last code 3 notification

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
    window:getChild(4001):setCheck(true)
    window:getChild(3000):setVisible(false)
    window:getChild(5000):setVisible(true)
    installComplete = true
  elseif code == 3 then
    progressRange = msg.range
    window:getChild(3001):setRange(msg.range)
  elseif code == 4 then
    window:getChild(3001):setPosition(msg.position)
    if progressRange and progressRange > 0 then
      window:getChild(3002):setText(string.format("正在安装%2d%%...", msg.position * 100 / progressRange))
    end
  elseif code == 5 then
    local answer = window:showMessageBox("文件可能被其他程序占用。\r\n" .. tostring(msg.file) ..
      "\r\n请关闭占用的程序再重试", "异常", MB_RETRYCANCEL + MB_ICONEXCLAMATION)
    if answer == IDCANCEL then
      window:endDialog(3)
    end
    return answer
  elseif code == 6 then
    window:showMessageBox("安装过程发生异常\r\n\r\n" .. tostring(msg.error), "错误", MB_OK + MB_ICONEXCLAMATION)
    window:endDialog(3)
    return 2
  elseif code == 7 then
    restartComputer = true
    markRestart()
  elseif code == 10 then
    local answer = window:showMessageBox("立即结束以下程序来继续安装过程吗?\r\n" .. tostring(msg.file), "提示",
      MB_OKCANCEL + MB_ICONQUESTION)
    if answer == IDCANCEL then
      window:endDialog(3)
    end
    return answer
  end
  return 1
end

-- The install path the window starts with: the one an earlier install stored, else the default folder
-- under the program folder; and whether it was stored.
local function initialInstallPath()
  local stored = formatPath(regQueryString(HKEY_CURRENT_USER, PRODUCT_KEY, "InstallPath"))
  if stored then
    return stored, true
  end
  return getProgramFolder() .. "\\" .. PRODUCT_FOLDER .. "\\", false
end

-- False when the user refused to end the running product (the dialog then ends).
local function runningCheck(window, path)
  local program = path .. PROGRAM
  if isProcessRunning(program) then
    if window:showMessageBox("veze正在运行中，是否停止veze？", "提示", MB_OKCANCEL + MB_ICONQUESTION) == IDOK then
      killProcess(program)
    else
      window:endDialog(3)
      return false
    end
  end
  return true
end

-- The progress page: shown in place of `page` while the worker installs into path; the message
-- handler follows the worker from here.
local function startInstall(window, page, path)
  window:getChild(3000):setVisible(true)
  window:getChild(page):setVisible(false)
  window:getChild(5000):setVisible(false)
  startWork("LG.lua", "program.lz", workConfig(path))
end

-- The agreement page: the licence box, the two links and the install button. install.path is the
-- path the window started with (a path typed on the custom-path page is not used here).
local function setupAgreementPage(window, install, pathStored)
  local agreeBox = window:getChild(1001)
  -- Both install buttons, the agreement page's and the path page's, wait for the agreement.
  local installButton = window:getChild(1003)
  local startButton = window:getChild(2004)
  installButton:setEnabled(false)
  startButton:setEnabled(false)
  agreeBox:addHandler(event.Click, function()
    installButton:setEnabled(agreeBox:getCheck())
    startButton:setEnabled(agreeBox:getCheck())
  end)

  local customLink = window:getChild(1004)
  local agreementLink = window:getChild(1002)
  if pathStored then
    customLink:setVisible(false)
  end
  for _, link in ipairs({ customLink, agreementLink }) do
    link:writeFlag(10, false)
    link:addHandler(event.MouseEnter, function() link:setColor(3355596) end)
    link:addHandler(event.MouseLeave, function() link:setColor(6711039) end)
    link:addHandler(event.QueryCursor, function()
      window:setCursor(32649)
      return true
    end)
  end
  customLink:addHandler(event.LButtonDown, function()
    window:getChild(2000):setVisible(true)
    window:getChild(1000):setVisible(false)
  end)
  agreementLink:addHandler(event.LButtonDown, function()
    shellExecuteEx("iexplore.exe", AGREEMENT_URL, "open", SW_NORMAL, 0)
  end)

  installButton:addHandler(event.Click, function()
    if runningCheck(window, install.path) then
      startInstall(window, 1000, install.path)
    end
  end)
end

-- The custom-path page: the path box with its key filter, browse, back and start.
local function setupPathPage(window, install, pathStored)
  local pathBox = window:getChild(2001)
  if not pathStored then
    pathBox:setText(install.path)
  end

  window:getChild(2002):addHandler(event.Click, function()
    local path = window:browseForFolder("在列表中选择一个文件夹，然后单击“确定”。")
    if path then
      if string.sub(path, -1) ~= "\\" then
        pathBox:setText(path .. "\\" .. PRODUCT_FOLDER .. "\\")
      else
        pathBox:setText(path .. PRODUCT_FOLDER .. "\\")
      end
    end
  end)

  pathBox:addHandler(event.PrevKeyPress, function(sender, msg, wparam)
    if wparam == 58 then
      local text = pathBox:getText()
      return text ~= nil and string.find(text, ":", 1, true) ~= nil
    end
    return wparam == 63 or wparam == 34 or wparam == 39 or wparam == 60 or wparam == 62 or wparam == 124
  end)

  window:getChild(2005):addHandler(event.Click, function()
    window:getChild(2000):setVisible(false)
    window:getChild(1000):setVisible(true)
  end)

  window:getChild(2004):addHandler(event.Click, function()
    local function refuse(text)
      window:showMessageBox(text, "错误", MB_OK + MB_ICONEXCLAMATION)
    end
    if not window:getChild(1001):getCheck() then
      return  -- the licence must be accepted first, as on the agreement page
    end
    local path, refusal = parsePath(pathBox:getText())
    if not path then
      return refuse(refusal)
    end
    -- The typed path becomes the install path only once the user has accepted it, so a folder refused
    -- at the question is not used later by the agreement page's install button.
    if not directoryEmpty(path) then
      local question = "文件夹:\r\n\r\n" .. path .. "\r\n\r\n不为空。您一定要安装到该文件夹中么?"
      if window:showMessageBox(question, "提示", MB_OKCANCEL + MB_ICONQUESTION) == IDCANCEL then
        return
      end
    end
    install.path = path
    if runningCheck(window, install.path) then
      startInstall(window, 2000, install.path)
    end
  end)
end

-- Starts the installed program from the install folder, unless the computer must restart first.
local function startProgram(path)
  if restartComputer then
    return
  end
  releaseMutex()
  setCurrentDirectory(path)
  local started
  if isVista() and not isWin11() then
    log("ERROR", "2222", "file")
    started = shellExecuteEx("explorer", path .. PROGRAM, "open", SW_NORMAL, 0)
  else
    log("ERROR", "3333", "file")
    started = shellExecuteEx(path .. PROGRAM, "", "runas", SW_NORMAL, 0)
    if not started then
      local err = GetLastError()
      log("ERROR", err, "file")
      print("启动失败，错误码：" .. tostring(err))
      io.read()
    end
  end
end

-- The finish page: the start-with-Windows box (shown by the message handler on completion), finish,
-- and finish-and-start. Either button registers the program.
local function setupFinishPage(window, install)
  local launchBox = window:getChild(4001)
  launchBox:setVisible(false)

  window:getChild(4002):addHandler(event.Click, function()
    window:endDialog(3)
    RegisterTarvoVirtualCamera(install.path, launchBox:getCheck())
  end)

  window:getChild(4003):addHandler(event.Click, function()
    window:endDialog(3)
    RegisterTarvoVirtualCamera(install.path, launchBox:getCheck())
    startProgram(install.path)
  end)
end

-- The close button, on every page but the progress page: registers a finished install, else asks.
local function setupCloseButton(window, install)
  window:getChild(5000):addHandler(event.Click, function()
    if installComplete then
      window:endDialog(3)
      RegisterTarvoVirtualCamera(install.path, window:getChild(4001):getCheck())
    else
      local text = "安装程序未完成安装。如果您现在退出，您的程序将不能安装。\n\n" ..
        "您可以以后再运行安装程序完成安装。\n\n退出安装程序吗？"
      if window:showMessageBox(text, "退出安装程序", MB_YESNO + MB_ICONQUESTION) == IDYES then
        window:endDialog(2)
      end
    end
  end)
end

local function setupWindow()
  local window = createWindow("mainframe.xml")
  window:setIcon(2)
  window:setTitle("veze安装程序")
  window:centerScreen()
  window:getChild(5001):setText("Ver: " .. VERSION)

  local path, pathStored = initialInstallPath()
  local install = { path = path }  -- the pages share it: the path page may change it
  setupAgreementPage(window, install, pathStored)
  setupPathPage(window, install, pathStored)
  setupFinishPage(window, install)
  setupCloseButton(window, install)
  window:setMessageHandler(function(t) return MessageHandler(window, t) end)
  return window
end

setupWindow():showDialog()
if restartComputer then
  if showMessageBox("veze需要重启电脑才能正常使用，是否立即重启?", "提示", MB_OKCANCEL + MB_ICONQUESTION) == IDOK then
    reboot()
  end
end
