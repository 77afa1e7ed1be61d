<?php
// Build a 10,000-element array a[i] = i and sum it; 100 rounds, each a new
// call with a new array.
function round_once() {
    $a = [];
    for ($i = 1; $i <= 10000; $i++) { $a[$i] = $i; }
    $s = 0;
    for ($i = 1; $i <= 10000; $i++) { $s = $s + $a[$i]; }
    return $s;
}
$t = 0;
for ($r = 0; $r < 100; $r++) { $t = round_once(); }
echo $t, "\n";
