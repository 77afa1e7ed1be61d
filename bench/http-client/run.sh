#!/bin/bash
# 2,000 sequential GETs of a small page from a local nginx: one compiled
# script looping over ZtCALL (run by `orin run`), PHP file_get_contents and
# Python http.client, in the same run, each in a loop of its own process.
# Every request is a new connection (ZtCALL sends "Connection: close").
# Rounds alternate between the clients so that a busy machine slows all
# alike; the table shows every round's wall time, the median and the
# ratios to orin.
#
#   BUILD=build REQUESTS=2000 ROUNDS=3 bench/http-client/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD=${BUILD:-build}
REQUESTS=${REQUESTS:-2000}
ROUNDS=${ROUNDS:-3}
ORIN=${ORIN:-$BUILD/apps/orin/orin}
ZTASM=${ZTASM:-$BUILD/tools/ztasm}

need() { command -v "$1" >/dev/null 2>&1 || { echo "bench-http-client: $1 is missing ($2)" >&2; exit 1; }; }
need nginx "nginx-light; scripts/setup.sh installs it"
need php "php-cli; scripts/setup.sh installs it"
[ -x "$ORIN" ] && [ -x "$ZTASM" ] || { echo "bench-http-client: build first (make)" >&2; exit 1; }

tmp=$(mktemp -d)
chmod 755 "$tmp"  # nginx workers may run as another user
pid=""
cleanup() {
    if [ -n "$pid" ]; then kill -TERM "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
    rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$tmp/www" "$tmp/html" "$tmp/data"
printf '<html><body><p>small page</p></body></html>\n' >"$tmp/www/index.html"
cat >"$tmp/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $tmp/nginx.pid;
error_log $tmp/error.log;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $tmp/cb; proxy_temp_path $tmp/pr; fastcgi_temp_path $tmp/fc;
  uwsgi_temp_path $tmp/uw; scgi_temp_path $tmp/sc;
  server { listen 127.0.0.1:$port; root $tmp/www; }
}
CONF
"$(command -v nginx)" -p "$tmp" -c "$tmp/nginx.conf" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 100); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.1
done
url="http://127.0.0.1:$port/index.html"

# Each client reads every whole body and writes it out; the byte count of
# the output proves that all of them did the same work.
cat >"$tmp/get.zasm" <<ZASM
        storegi n, 0
again:  pushc "$url"
        pushc "GET"
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        pushi 0
        pushc ""
        pushc ""
        pushc "noparse"
        op_httpn done, 12
body:   pushg callvalue
        out
        op_http_loop body
done:   incg n, 1
        cmpgi n, $REQUESTS
        jmp_lt again
ZASM
"$ZTASM" -o "$tmp/html/get.ztc" "$tmp/get.zasm"
: >"$tmp/vm.toml"
cat >"$tmp/get.php" <<PHP
<?php
for (\$i = 0; \$i < $REQUESTS; \$i++) { echo file_get_contents("$url"); }
PHP
cat >"$tmp/get.py" <<PY
import http.client
import sys
out = sys.stdout.buffer
for _ in range($REQUESTS):
    c = http.client.HTTPConnection("127.0.0.1", $port)
    c.request("GET", "/index.html")
    out.write(c.getresponse().read())
    c.close()
PY

run_orin() { "$ORIN" run --root "$tmp/html" --data "$tmp/data" --config "$tmp/vm.toml" "$tmp/html/get.ztc"; }
run_php() { php "$tmp/get.php"; }
run_python() { python3 "$tmp/get.py"; }

expected=$((REQUESTS * $(wc -c <"$tmp/www/index.html")))
declare -A times
for round in $(seq "$ROUNDS"); do
    for client in orin php python; do
        start=$(date +%s.%N)
        out=$(run_$client | wc -c)
        end=$(date +%s.%N)
        if [ "$out" != "$expected" ]; then
            echo "bench-http-client: $client read $out bytes, expected $expected" >&2
            exit 1
        fi
        times[$client]="${times[$client]:-} $(echo "$end - $start" | bc)"
    done
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "$REQUESTS sequential GETs of a $(wc -c <"$tmp/www/index.html")-byte page from nginx, $ROUNDS rounds (seconds)"
printf '%-8s %-30s %8s %10s %8s\n' client rounds median req/s "x orin"
orin_median=$(echo "${times[orin]}" | median)
for client in orin php python; do
    m=$(echo "${times[$client]}" | median)
    printf '%-8s %-30s %8.3f %10.0f %8.2f\n' "$client" "${times[$client]}" "$m" \
        "$(echo "$REQUESTS / $m" | bc -l)" "$(echo "$m / $orin_median" | bc -l)"
done
