#!/bin/bash
# Serves the example site from the build tree on port 8080, or the first
# free port after it. Stop it with Ctrl-C.
set -eu
BUILD=${BUILD:-build}
root="$BUILD/examples/site"
data="$BUILD/examples/data"
config="$BUILD/examples/vm.toml"
[ -x "$BUILD/apps/orin/orin" ] || { echo "run 'make' first" >&2; exit 1; }
mkdir -p "$data"
# The sample plug-in (examples/plugins) serves plugin.ztc; the standard
# library is registered without being named.
printf 'libraries = ["b,n/a,%s"]\n' "$(cd "$BUILD" && pwd)/examples/plugins/libsample.so" > "$config"

port_free() {
    ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

port=8080
while [ "$port" -lt 8180 ] && ! port_free "$port"; do port=$((port + 1)); done
echo "Example site: http://localhost:$port/ (Ctrl-C stops the server)"
exec "$BUILD/apps/orin/orin" serve --port "$port" --root "$root" --data "$data" --config "$config"
