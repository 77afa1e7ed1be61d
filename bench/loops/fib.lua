-- Naive recursive Fibonacci of 25 (242,785 calls).
local function fib(n)
  if n < 2 then return n end
  return fib(n - 1) + fib(n - 2)
end
io.write(fib(25), "\n")
