# httpCheck.sh, sourced by the deployment tests: a free loopback port, waiting for a server, and one
# exchange checked as the game would see it; and the test's own folder, $scratch, removed at its end
# with whatever the test started in the background, and fail().
scratch=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$scratch"' EXIT
fail() { echo "$(basename "$0"): $*" >&2; exit 1; }
freePort() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
waitForPort() {
  for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0; sleep 0.05; done
  fail "nothing answers on port $1"
}
sjis="text/plain; charset=Shift_JIS"
# exchange WHAT "STATUS TYPE" TEXT URL CURL_ARGS...: the reply has that status and type, and its body
# (decoded from code page 932 when it is a short text) a line that starts with TEXT. Its headers
# are left in $scratch/headers and its body in $scratch/body.
exchange() {
  local what=$1 wanted=$2 text=$3 url=$4 got
  shift 4
  got=$(curl -s -D "$scratch/headers" -o "$scratch/body" -w '%{http_code} %{content_type}' "$@" "$url") || fail "$what: no reply"
  [[ $got == "$wanted" ]] || fail "$what: '$got', not '$wanted'"
  if [[ $got == *"$sjis" ]]; then iconv -f CP932 -t UTF-8 "$scratch/body" >"$scratch/text"; else cp "$scratch/body" "$scratch/text"; fi
  grep -q "^$text" "$scratch/text" || fail "$what: no line '$text' in $(head -c 600 "$scratch/text")"
}
# securityHeaders WHAT: the reply in $scratch/headers says what its page may do, and tells no
# server version.
securityHeaders() {
  local wanted="Content-Security-Policy: .*frame-ancestors 'none'|X-Content-Type-Options: nosniff|Referrer-Policy: "
  wanted+="|Permissions-Policy: gamepad=\(self\), screen-wake-lock=\(self\)"
  (($(grep -ciE "^($wanted)" "$scratch/headers") == 4)) || fail "$1: a security header is missing"
  ! grep -qi '^Server:.*[0-9]' "$scratch/headers" || fail "$1: the server tells its version"
}
