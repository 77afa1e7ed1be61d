<?php
function add($a, $b) { return $a + $b; }
$t = 0;
for ($i = 0; $i < 1000000; $i++) { $t = add($t, 1); }
echo $t, "\n";
