-- The test product's own window: its button installs into the folder TARVO_OWN_TARGET names, and the
-- window ends when the install script reports the end.
local target = os.getenv("TARVO_OWN_TARGET") or "C:\\OwnProduct\\"
local window = createWindow("own.xml")
window:setTitle("自有产品")
window:centerScreen()
window:setMessageHandler(function(text)
  local msg = load("return " .. text)()
  if msg.code == 2 then
    window:endDialog(1)
  elseif msg.code == 5 or msg.code == 6 then
    window:showMessageBox(tostring(msg.file or msg.error), "错误", 0)
    window:endDialog(2)
    return 2
  end
  return 1
end)
window:getChild(1001):addHandler(event.Click, function()
  startWork("LG.lua", "program.lz", "{installPath=[[" .. target .. "]]}")
end)
window:showDialog()
