<?php
// Naive recursive Fibonacci of 25 (242,785 calls).
function fib($n) {
    if ($n < 2) { return $n; }
    return fib($n - 1) + fib($n - 2);
}
echo fib(25), "\n";
