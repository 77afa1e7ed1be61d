#!/bin/sh
# Prepares a Debian 12 machine to build and test the server. Run as root.
# Idempotent: packages already present are skipped, so a second run is quick.
set -eu

log() { printf 'setup: %s\n' "$*"; }

if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then exec sudo -E sh "$0" "$@"; fi
    echo "setup: must run as root" >&2; exit 1
fi

# Debian packages the build and the tests need.
PACKAGES="build-essential cmake ninja-build g++ pkg-config git
    googletest libgtest-dev libcrypt-dev libtomlplusplus-dev libssl-dev openssl libmimalloc-dev
    python3 clang libclang-rt-14-dev lua5.4 php-cli php-fpm curl media-types
    chromium apache2-utils nginx-light ccache python3-dbf dbview
    libpcre2-dev libhowardhinnant-date-dev tzdata dante-server microsocks
    qt6-base-dev xvfb xdotool python3-pil
    python3-aiosmtpd dovecot-pop3d
    libsqlite3-dev libpq-dev postgresql php-sqlite3"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
if [ -n "$missing" ]; then
    log "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # Packages such as nginx start their service when installed; the tests
    # and benchmarks start their own instances on free ports instead.
    norc=""
    if [ ! -e /usr/sbin/policy-rc.d ]; then
        printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
        chmod 755 /usr/sbin/policy-rc.d
        norc=1
    fi
    status=0
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null || status=$?
    if [ -n "$norc" ]; then rm -f /usr/sbin/policy-rc.d; fi
    [ "$status" -eq 0 ] || exit "$status"
else
    log "Debian packages present"
fi

# libmpdec is not in Debian 12: take libmpdec4 and libmpdec-dev from Debian 13,
# fetched from the same archive the machine already uses.
if dpkg-query -W -f='${Status}' libmpdec-dev 2>/dev/null | grep -q 'ok installed'; then
    log "libmpdec present"
else
    uri=""
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        uri=$(awk '/^URIs:/{u=$2} /^Suites:/{ if ($0 ~ /bookworm( |$)/ && u !~ /security/) {print u; exit} }' \
            /etc/apt/sources.list.d/debian.sources)
    fi
    if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
        uri=$(awk '$1=="deb" && $0 ~ / bookworm / && $0 !~ /security/ {for(i=2;i<=NF;i++) if ($i ~ /^[a-z]+:\/\//) {print $i; exit}}' \
            /etc/apt/sources.list)
    fi
    [ -n "$uri" ] || { echo "setup: no Debian archive found in the apt sources" >&2; exit 1; }
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    mkdir -p "$tmp/lists/partial" "$tmp/cache/archives/partial"
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri trixie main" >"$tmp/sources.list"
    opts="-o Dir::Etc::SourceList=$tmp/sources.list -o Dir::Etc::SourceParts=/dev/null
          -o Dir::State::Lists=$tmp/lists -o Dir::Cache=$tmp/cache -o APT::Get::List-Cleanup=0
          -o APT::Sandbox::User=root"
    log "fetching libmpdec from the Debian 13 archive"
    # shellcheck disable=SC2086
    apt-get $opts -qq update
    # shellcheck disable=SC2086
    (cd "$tmp" && apt-get $opts -qq download libmpdec4 libmpdec-dev)
    dpkg -i "$tmp"/libmpdec4_*.deb "$tmp"/libmpdec-dev_*.deb >/dev/null
    log "libmpdec installed"
fi
