-- Tables of a window closed by its own dialog's end, and of its controls, keep answering nothing.
local w = createWindow("dialog.xml")
local root = w:getRoot()
local seen = { root, root.getFirstChild and root:getFirstChild() or root }
root:addHandler(30, function(sender) sender:setText("clicked") end)
w:setTimer(5, function() w:endDialog(2) end)
assert(w:showDialog() == 2)
for _, c in ipairs(seen) do
  for _, m in ipairs({ "setText", "getText", "setEnabled", "setVisible", "setFocus", "addHandler",
    "removeHandler", "repaint", "getWindow", "getParent", "writeFlag", "setStyle", "setColor" }) do
    if c[m] then assert(c[m](c, 30, print) == nil, m) end
  end
end
for _, m in ipairs({ "getRoot", "getChild", "setPosition", "updateLayout", "setTimer", "killTimer",
  "showWindow", "setMessageHandler", "endDialog", "showDialog" }) do
  assert(w[m](w, 1, print) == nil, m)
end
fuzz_run(20261209, 120)
