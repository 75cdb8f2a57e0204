-- UI script of the start-up probe: holds the installer in its UI script run behind one box, so that a
-- test can look at the running process from outside, then returns.
showMessageBox("start-up probe", "probe", 0)
