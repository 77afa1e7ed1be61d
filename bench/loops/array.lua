-- Build a 10,000-element array a[i] = i and sum it; 100 rounds, each a new
-- call with a new array.
local function round()
  local a = {}
  local i = 1
  while i <= 10000 do a[i] = i; i = i + 1 end
  local s = 0
  i = 1
  while i <= 10000 do s = s + a[i]; i = i + 1 end
  return s
end
local t = 0
for _ = 1, 100 do t = round() end
io.write(t, "\n")
