-- Probe script for the worker tests: does what config.mode asks and writes "key=value" lines to
-- config.out.
local out = io.open(config.out, "wb")
local function report(key, value)
    out:write(key, "=", tostring(value), "\n")
end
if config.mode == "answer" then
    report("answer", notifyMessage("{code=1}"))
elseif config.mode == "extract" then
    report("backslash", extractFile(config.entry, config.dir .. "plain.ini"))
    report("readonly", extractFile(config.entry, config.readonly))
    report("nofolder", extractFile(config.entry, config.dir .. "missing\\plain.ini"))
    report("noentry", extractFile("no\\such\\entry", config.dir .. "none.ini"))
    report("installPath", config.installPath)
elseif config.mode == "damaged" then
    report("whole", extractFile("whole.txt", config.dir .. "whole.txt"))
    report("cut", extractFile("cut.txt", config.dir .. "cut.txt"))
end
out:close()
