-- Minimal case framework for the script host tests: case(name, fn) registers, expect* record failures
-- of the running case, run_cases() runs every case protected and returns {count, failures}.
local cases = {}
local current, failures

function case(name, fn)
  cases[#cases + 1] = { name = name, fn = fn }
end

local function fail(message)
  local info = debug.getinfo(3, "l")
  failures[#failures + 1] = string.format("%s (line %d): %s", current, info and info.currentline or 0, message)
end

function expect(cond, message)
  if not cond then
    fail(message or "expectation failed")
  end
end

function expectEq(actual, expected, message)
  if actual ~= expected then
    fail(string.format("%s: expected %s, got %s", message or "value", tostring(expected), tostring(actual)))
  end
end

-- Polls fn every 50 ms until it answers a true value or ms pass; answers the last value.
function waitFor(fn, ms)
  local waited = 0
  while true do
    local v = fn()
    if v or waited >= ms then
      return v
    end
    sleep(50)
    waited = waited + 50
  end
end

-- Number of values a call returned (to tell "nothing" from nil and false).
function count(...)
  return select("#", ...)
end

function run_cases()
  failures = {}
  for _, c in ipairs(cases) do
    current = c.name
    if os.getenv("TARVO_TRACE_CASES") then
      io.stderr:write("case: ", c.name, "\n")
      io.stderr:flush()
    end
    local ok, err = pcall(c.fn)
    if not ok then
      failures[#failures + 1] = string.format("%s: error: %s", c.name, tostring(err))
    end
  end
  return { count = #cases, failures = failures }
end
