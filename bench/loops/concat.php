<?php
$s = "";
for ($i = 0; $i < 1000000; $i++) { $s .= "x"; }
echo strlen($s), "\n";
