-- A million one-byte appends. Lua strings are immutable, so `s = s .. "x"`
-- is quadratic (minutes for a million); the idiomatic buffer is used instead.
local t = {}
for i = 1, 1000000 do t[#t + 1] = "x" end
local s = table.concat(t)
io.write(#s, "\n")
