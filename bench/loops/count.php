<?php
$i = 0;
while ($i < 10000000) { $i = $i + 1; }
echo $i, "\n";
