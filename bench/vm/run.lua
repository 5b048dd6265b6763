-- Runs one program and prints the CPU seconds its run took and the value it returned.
local program = assert(loadfile(arg[1]))
local t0 = os.clock()
local result = program()
local t1 = os.clock()
io.write(string.format("%.6f %d\n", t1 - t0, result))
