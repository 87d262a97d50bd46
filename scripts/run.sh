#!/usr/bin/env bash
# Installs what is missing, builds the application and starts it.
#
# By default the application shows sample news from the local stand-in service (tools/standin):
# the script starts it, makes it the application's HTTP proxy (http_proxy/https_proxy, and
# --proxy-server for the web view), lets the application trust its certificate authority through
# SSL_CERT_DIR (the web view: its server key), and stops it when the application ends. TIDWEN_SERVICE=live starts the application
# alone, against the live service.
#
# Settings (environment):
#   TIDWEN_SERVICE=live           no stand-in
#   TIDWEN_STANDIN_SEED, TIDWEN_STANDIN_NOW (ISO 8601), TIDWEN_STANDIN_FAULTS (rules, one per line)
#   TIDWEN_STANDIN_LIST_ADS=1     the configuration names list-ad slots
#   TIDWEN_STANDIN_WARN_AFTER     seconds to wait for the first request before warning (15)
#   TIDWEN_SKIP_BUILD=1           use the programs as built; TIDWEN_CLIENT, TIDWEN_STANDIN name them
set -euo pipefail
cd "$(dirname "$0")/.."

service=${TIDWEN_SERVICE:-standin}
client=${TIDWEN_CLIENT:-build/app/src/app/tidwen}
standin=${TIDWEN_STANDIN:-build/app/tools/standin/tidwen-standin}

if [ "${TIDWEN_SKIP_BUILD:-0}" != 1 ]; then
  source scripts/setup.sh
  tidwen_install_packages
  export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
  cmake -S . -B build/app -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTIDWEN_TESTS=OFF -DTIDWEN_BENCH=OFF >/dev/null
  targets=(tidwen)
  [ "$service" = live ] || targets+=(tidwen-standin)
  cmake --build build/app --target "${targets[@]}" -j "$(tidwen_jobs)"
fi

# The web engine's sandbox cannot run as root (a container, a fresh virtual machine): there it is
# turned off, and said so. An ordinary user keeps it.
if [ "$(id -u)" = 0 ] && [ -z "${QTWEBENGINE_DISABLE_SANDBOX:-}" ]; then
  echo "run.sh: running as root: the web view's sandbox is off (it cannot start as root)" >&2
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi

if [ "$service" = live ]; then
  exec "$client" "$@"
fi

workdir=$(mktemp -d "${TMPDIR:-/tmp}/tidwen-run.XXXXXX")
standin_pid=""
watch_pid=""
cleanup() {
  [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null || true
  if [ -n "$standin_pid" ]; then
    kill "$standin_pid" 2>/dev/null || true
    wait "$standin_pid" 2>/dev/null || true
  fi
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

standin_args=(--ready-file "$workdir/ready" --ca-dir "$workdir/ca")
[ -n "${TIDWEN_STANDIN_SEED:-}" ] && standin_args+=(--seed "$TIDWEN_STANDIN_SEED")
[ -n "${TIDWEN_STANDIN_NOW:-}" ] && standin_args+=(--now "$TIDWEN_STANDIN_NOW")
[ "${TIDWEN_STANDIN_LIST_ADS:-0}" = 1 ] && standin_args+=(--list-ads)
if [ -n "${TIDWEN_STANDIN_FAULTS:-}" ]; then
  while IFS= read -r rule; do
    [ -n "$rule" ] && standin_args+=(--fault "$rule")
  done <<<"$TIDWEN_STANDIN_FAULTS"
fi
"$standin" "${standin_args[@]}" >"$workdir/standin.log" 2>&1 &
standin_pid=$!
echo "run.sh: stand-in pid $standin_pid" >&2

for _ in $(seq 1 150); do
  [ -s "$workdir/ready" ] && break
  if ! kill -0 "$standin_pid" 2>/dev/null; then
    echo "run.sh: the stand-in did not start:" >&2
    cat "$workdir/standin.log" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -s "$workdir/ready" ]; then
  echo "run.sh: the stand-in did not get ready within 15 s" >&2
  exit 1
fi
port=$(sed -n 's/^port=//p' "$workdir/ready")
ca=$(sed -n 's/^ca=//p' "$workdir/ready")
spki=$(sed -n 's/^spki=//p' "$workdir/ready")
proxy="http://127.0.0.1:$port"
echo "run.sh: sample news from the stand-in at $proxy (request log: $proxy/__standin/log)" >&2

# Desktop proxy settings can take precedence over the environment: say so when nothing arrives.
(
  trap 'kill "$sleep_pid" 2>/dev/null; exit 0' TERM
  sleep "${TIDWEN_STANDIN_WARN_AFTER:-15}" &
  sleep_pid=$!
  wait "$sleep_pid"
  status=""
  if exec 3<>"/dev/tcp/127.0.0.1/$port"; then
    printf 'GET /__standin/status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' >&3
    status=$(cat <&3 || true)
    exec 3<&-
  fi
  if printf '%s' "$status" | grep -q '"requests":0[,}]'; then
    echo "run.sh: warning: no request reached the stand-in within ${TIDWEN_STANDIN_WARN_AFTER:-15} s;" \
      "the desktop's proxy settings may take precedence over http_proxy/https_proxy" >&2
  fi
) &
watch_pid=$!

set +e
http_proxy=$proxy https_proxy=$proxy HTTP_PROXY=$proxy HTTPS_PROXY=$proxy \
  no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost \
  SSL_CERT_DIR=$ca \
  QTWEBENGINE_CHROMIUM_FLAGS="--proxy-server=$proxy --ignore-certificate-errors-spki-list=$spki ${QTWEBENGINE_CHROMIUM_FLAGS:-}" \
  "$client" "$@"
client_status=$?
set -e
exit "$client_status"
