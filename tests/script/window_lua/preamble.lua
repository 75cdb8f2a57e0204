-- What every window case file starts from: code run later from the message loop, and modal runs that
-- a safety timer ends.

-- Runs fn once, ms after now, from whatever message loop is running.
function later(w, ms, fn)
  local id
  id = w:setTimer(ms, function()
    w:killTimer(id)
    fn()
  end)
end

-- Runs the window modally (owned by `owner` when given); a safety timer ends a run that would
-- otherwise hang with code -1.
function runDialog(w, owner)
  later(w, 15000, function() w:endDialog(-1) end)
  if owner then
    return w:showDialog(owner)
  end
  return w:showDialog()
end
