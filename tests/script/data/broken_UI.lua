-- broken UI script for tests
local ok = true
if ok then
  print('never closed')
