#!/bin/bash
# Requests per second of the example start page (index.ztc, a compiled
# script run by `orin serve`) against nginx serving a static copy of it,
# PHP behind nginx (php-fpm) serving a one-line page, and `php -S` serving
# the same page. Each server gets its own free
# loopback port and temporary configuration; ab drives them with
# CONCURRENCY clients and a new connection per request (no keep-alive).
# Rounds alternate between the servers so that a busy machine slows all
# three alike; the table shows every round, the median and the CPU time
# each server (with its workers: nginx and php-fpm together for PHP behind
# nginx) spent per request, which a busy machine disturbs less than the rate.
# With STRACE=1 one more run of each goes under `strace -c -f` and the table
# gets the system calls per request.
#
#   BUILD=build REQUESTS=5000 CONCURRENCY=5 ROUNDS=3 bench/http/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD=${BUILD:-build}
REQUESTS=${REQUESTS:-5000}
CONCURRENCY=${CONCURRENCY:-5}
ROUNDS=${ROUNDS:-3}
STRACE=${STRACE:-0}
ORIN=${ORIN:-$BUILD/apps/orin/orin}
SITE="$BUILD/examples/site"

need() { command -v "$1" >/dev/null 2>&1 || { echo "bench-http: $1 is missing ($2)" >&2; exit 1; }; }
need ab "apache2-utils; scripts/setup.sh installs it"
need nginx "nginx-light; scripts/setup.sh installs it"
need php "php-cli; scripts/setup.sh installs it"
FPM=$(command -v php-fpm8.2 || command -v php-fpm || ls /usr/sbin/php-fpm* 2>/dev/null | head -1 || true)
[ -n "$FPM" ] || { echo "bench-http: php-fpm is missing (scripts/setup.sh installs it)" >&2; exit 1; }
need curl "scripts/setup.sh installs it"
[ -x "$ORIN" ] && [ -f "$SITE/index.ztc" ] || { echo "bench-http: build first (make)" >&2; exit 1; }
NGINX=$(command -v nginx)

tmp=$(mktemp -d)
chmod 755 "$tmp"  # nginx workers may run as another user
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Waits until something answers on the port (bounded).
wait_port() {
    for _ in $(seq 100); do
        if curl -s -o /dev/null "http://127.0.0.1:$1/"; then return 0; fi
        sleep 0.1
    done
    echo "bench-http: nothing answers on port $1" >&2
    exit 1
}

# --- orin --------------------------------------------------------------
mkdir -p "$tmp/orin/data"
: >"$tmp/orin/vm.toml"
"$ORIN" serve --port 0 --bind 127.0.0.1 --root "$SITE" --data "$tmp/orin/data" \
    --config "$tmp/orin/vm.toml" >"$tmp/orin/out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    grep -q 'listening on' "$tmp/orin/out" && break
    sleep 0.1
done
orin_port=$(sed -n 's|^orin: listening on http://127.0.0.1:\([0-9]*\)/$|\1|p' "$tmp/orin/out")
[ -n "$orin_port" ] || { cat "$tmp/orin/out" >&2; exit 1; }
orin_url="http://127.0.0.1:$orin_port/index.ztc"

# --- the one-line PHP page, for php-fpm and php -S ------------------------
mkdir -p "$tmp/php"
echo '<?php echo "<!DOCTYPE html><title>PHP</title><h1>PHP is running</h1><p>", date("H:i:s"), " for a client at ", $_SERVER["REMOTE_ADDR"], ".</p>\n";' \
    >"$tmp/php/index.php"

# --- php-fpm: five workers, as orin has five threads ---------------------
cat >"$tmp/fpm.conf" <<EOF
[global]
pid = $tmp/fpm.pid
error_log = $tmp/fpm.log
daemonize = no
[www]
listen = $tmp/fpm.sock
listen.mode = 0666
pm = static
pm.max_children = 5
EOF
"$FPM" -n -R -F -y "$tmp/fpm.conf" >"$tmp/fpm.out" 2>&1 &
pids+=($!)
fpm_pid=$!

# --- nginx: the start page as orin produced it, as a static file, and the
# PHP page through php-fpm on a second port ---------------------------------
nginx_port=$(free_port)
fpm_port=$(free_port)
mkdir -p "$tmp/nginx/html"
curl -s -o "$tmp/nginx/html/index.html" "$orin_url"
cat >"$tmp/nginx/nginx.conf" <<EOF
daemon off;
worker_processes auto;
pid $tmp/nginx/nginx.pid;
error_log $tmp/nginx/error.log;
events { worker_connections 256; }
http {
    access_log off;
    default_type text/html;
    keepalive_timeout 0;
    client_body_temp_path $tmp/nginx/body;
    proxy_temp_path $tmp/nginx/proxy;
    fastcgi_temp_path $tmp/nginx/fastcgi;
    uwsgi_temp_path $tmp/nginx/uwsgi;
    scgi_temp_path $tmp/nginx/scgi;
    server {
        listen 127.0.0.1:$nginx_port;
        root $tmp/nginx/html;
    }
    server {
        listen 127.0.0.1:$fpm_port;
        root $tmp/php;
        location ~ \.php\$ {
            include /etc/nginx/fastcgi_params;
            fastcgi_param SCRIPT_FILENAME \$document_root\$fastcgi_script_name;
            fastcgi_pass unix:$tmp/fpm.sock;
        }
    }
}
EOF
"$NGINX" -p "$tmp/nginx" -c "$tmp/nginx/nginx.conf" -e "$tmp/nginx/error.log" &
pids+=($!)
wait_port "$nginx_port"
nginx_url="http://127.0.0.1:$nginx_port/index.html"
fpm_url="http://127.0.0.1:$fpm_port/index.php"
for _ in $(seq 100); do
    [ "$(curl -s -o /dev/null -w '%{http_code}' "$fpm_url")" = 200 ] && break
    sleep 0.1
done
[ "$(curl -s -o /dev/null -w '%{http_code}' "$fpm_url")" = 200 ] ||
    { echo "bench-http: php-fpm behind nginx does not answer" >&2; cat "$tmp/fpm.out" "$tmp/nginx/error.log" >&2; exit 1; }

# --- php -S: the same page ---------------------------------------------
php_port=$(free_port)
php -n -S "127.0.0.1:$php_port" -t "$tmp/php" >"$tmp/php/log" 2>&1 &
pids+=($!)
wait_port "$php_port"
php_url="http://127.0.0.1:$php_port/index.php"

# Prints "requests/s failed" for one ab run; a run with errors other than
# changing lengths (the pages show the time) counts as failed.
measure() {
    local out
    out=$(ab -q -c "$CONCURRENCY" -n "$1" -r "$2" 2>&1) || { echo "$out" >&2; echo "0 all"; return; }
    local rps failed exceptions non2xx
    rps=$(awk '/^Requests per second:/ {print $4}' <<<"$out")
    failed=$(awk '/^Failed requests:/ {print $3}' <<<"$out")
    exceptions=$(sed -n 's/.*(Connect: \([0-9]*\), Receive: \([0-9]*\), Length: [0-9]*, Exceptions: \([0-9]*\)).*/\1 \2 \3/p' <<<"$out" |
        awk '{print $1 + $2 + $3}')
    non2xx=$(awk '/^Non-2xx responses:/ {print $3}' <<<"$out")
    echo "${rps:-0} $(( ${exceptions:-0} + ${non2xx:-0} ))"
}

# CPU time (clock ticks) of a server process and its children (nginx workers).
cpu_ticks() {
    local total=0 pid
    for pid in $1 $(for p in $1; do pgrep -P "$p" || true; done); do
        total=$(( total + $(awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null || echo 0) ))
    done
    echo "$total"
}
tick_us=$(( 1000000 / $(getconf CLK_TCK) ))

names=(orin nginx fpm php)
nginx_pid=${pids[2]}
server_pids=("${pids[0]}" "$nginx_pid" "$nginx_pid $fpm_pid" "${pids[3]}")
urls=("$orin_url" "$nginx_url" "$fpm_url" "$php_url")
labels=("orin serve: index.ztc (script)" "nginx: static copy of that page"
    "nginx + php-fpm: one-line PHP page" "php -S: one-line PHP page")
declare -A results
for i in 0 1 2 3; do measure 200 "${urls[$i]}" >/dev/null; done  # warm-up
for round in $(seq "$ROUNDS"); do
    for i in 0 1 2 3; do
        before=$(cpu_ticks "${server_pids[$i]}")
        read -r rps failed < <(measure "$REQUESTS" "${urls[$i]}")
        after=$(cpu_ticks "${server_pids[$i]}")
        results[${names[$i]},$round]="$rps"
        results[${names[$i]},cpu]=$(( ${results[${names[$i]},cpu]:-0} + after - before ))
        results[${names[$i]},failed]=$(( ${results[${names[$i]},failed]:-0} + ${failed/all/$REQUESTS} ))
    done
done

# System calls per request: one more run of each server under strace -c -f
# (every thread and worker), counted over 1,000 requests.
if [ "$STRACE" = 1 ]; then
    need strace "strace"
    for i in 0 1 2 3; do
        traces=()
        for pid in ${server_pids[$i]} $(for p in ${server_pids[$i]}; do pgrep -P "$p" || true; done); do
            strace -c -f -q -p "$pid" -o "$tmp/strace.$i.$pid" &
            traces+=($!)
        done
        sleep 0.5
        measure 1000 "${urls[$i]}" >/dev/null
        sleep 0.3
        for t in "${traces[@]}"; do kill -INT "$t" 2>/dev/null || true; wait "$t" 2>/dev/null || true; done
        calls=$(cat "$tmp"/strace.$i.* | awk '$NF == "total" {sum += $4} END {print sum + 0}')
        results[${names[$i]},syscalls]=$(awk -v c="$calls" 'BEGIN {printf "%.1f", c / 1000}')
        rm -f "$tmp"/strace.$i.*
    done
fi

echo
echo "HTTP requests per second: $REQUESTS requests per round, $CONCURRENCY concurrent clients, no keep-alive"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-34s' "server"
for round in $(seq "$ROUNDS"); do printf '%10s' "round $round"; done
printf '%10s %8s %12s' "median" "errors" "server CPU"
[ "$STRACE" = 1 ] && printf '%10s' "syscalls"
printf '\n'
for i in 0 1 2 3; do
    name=${names[$i]}
    printf '%-34s' "${labels[$i]}"
    values=()
    for round in $(seq "$ROUNDS"); do
        printf '%10.0f' "${results[$name,$round]}"
        values+=("${results[$name,$round]}")
    done
    median=$(printf '%s\n' "${values[@]}" | sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}')
    cpu_us=$(( results[$name,cpu] * tick_us / (REQUESTS * ROUNDS) ))
    printf '%10.0f %8d %9d us' "$median" "${results[$name,failed]}" "$cpu_us"
    [ "$STRACE" = 1 ] && printf '%10s' "${results[$name,syscalls]}"
    printf '\n'
done
