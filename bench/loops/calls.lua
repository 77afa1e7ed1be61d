-- A million calls of a two-parameter function.
local function add(a, b) return a + b end
local t = 0
for i = 1, 1000000 do t = add(t, 1) end
io.write(t, "\n")
