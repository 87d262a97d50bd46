#!/usr/bin/env bash
# The built program, started the way scripts/run.sh starts it (the stand-in service as its proxy),
# runs for a while under the offscreen platform with a fresh home; then its own log and the
# stand-in's request log must show the road of one news item: the start-up requests, the first
# channel's list and slides, the first article and its side requests.
#
#   binary_smoke.sh <tidwen program> <tidwen-standin program> [seconds]
#
# Exit 0: every check passed; 1: a check failed (each is named).
set -uo pipefail

# --- Client mode: run.sh starts this file as "the client" (TIDWEN_CLIENT); it runs the real
# program for the given time and saves the request log while the stand-in still runs.
if [ -n "${TIDWEN_SMOKE_CLIENT:-}" ]; then
  work=$TIDWEN_SMOKE_WORK
  port=${http_proxy##*:}
  port=${port%%/*}
  fetch_log() {
    local reply
    exec 3<>"/dev/tcp/127.0.0.1/$port" || return 1
    printf 'GET /__standin/log HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' >&3
    reply=$(cat <&3)
    exec 3<&-
    # The body follows the first empty line.
    printf '%s\n' "$reply" | tr -d '\r' | sed '1,/^$/d' >"$work/requests.jsonl.part"
    mv "$work/requests.jsonl.part" "$work/requests.jsonl"
  }
  "$TIDWEN_SMOKE_CLIENT" "$@" >"$work/client.log" 2>&1 &
  client=$!
  # The run ends once every request the checks look for has reached the stand-in (a slow
  # machine only takes longer), or at the time given, whichever comes first.
  all_seen() {
    local pattern
    fetch_log || return 1
    while IFS= read -r pattern; do
      [ -n "$pattern" ] || continue
      grep -qE "$pattern" "$work/requests.jsonl" || return 1
    done <<<"${TIDWEN_SMOKE_UNTIL:-}"
    grep -q 'tidwen: article page loaded' "$work/client.log"
  }
  deadline=$((SECONDS + TIDWEN_SMOKE_SECONDS))
  while [ "$SECONDS" -lt "$deadline" ] && kill -0 "$client" 2>/dev/null; do
    sleep 2
    all_seen && break
  done
  # Requests the last ones led to get a moment to arrive.
  sleep 2
  fetch_log
  # SIGTERM closes the windows and ends the program normally; a program that hangs is killed.
  kill -TERM "$client" 2>/dev/null
  for _ in $(seq 1 300); do
    kill -0 "$client" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$client" 2>/dev/null; then
    echo "the program did not end within 30 s of SIGTERM" >>"$work/client.log"
    kill -KILL "$client" 2>/dev/null
  fi
  wait "$client"
  echo "$?" >"$work/client.status"
  exit 0
fi

# --- The checks, over <work>/requests.jsonl (one JSON object per request, keys in sorted order)
# and <work>/client.log.

work_dir=""
run_dir=""  # the run whose logs the checks read
failures=0
passes=0

say() { printf '%s\n' "$*"; }

# Prints the sequence number of the first request whose method, host and target (an extended
# regular expression, anchored) match, after sequence number $4 (default 0); nothing when none.
first_request() {
  local method=$1 host=$2 target=$3 after=${4:-0} line seq
  while IFS= read -r line; do
    [[ $line == *"\"method\":\"$method\""* ]] || continue
    [[ $line == *"\"host\":\"$host\""* ]] || continue
    [[ $line =~ \"target\":\"($target)\" ]] || continue
    [[ $line =~ \"seq\":([0-9]+) ]] || continue
    seq=${BASH_REMATCH[1]}
    if [ "$seq" -gt "$after" ]; then
      echo "$seq"
      return 0
    fi
  done <"$run_dir/requests.jsonl"
  return 1
}

request_line() {
  grep -m1 "\"seq\":$1[,}]" "$run_dir/requests.jsonl"
}

# A deciphered form or query field of request $1.
field_of() {
  local line
  line=$(request_line "$1")
  [[ $line =~ \"fields\":\{[^}]*\"$2\":\"([^\"]*)\" ]] && printf '%s' "${BASH_REMATCH[1]}"
}

status_of() {
  local line
  line=$(request_line "$1")
  [[ $line =~ \"status\":([0-9]+) ]] && printf '%s' "${BASH_REMATCH[1]}"
}

# check <name> <command...>: runs the command and reports it.
check() {
  local name=$1 detail
  shift
  if detail=$("$@" 2>&1); then
    passes=$((passes + 1))
    say "PASS  $name $detail"
  else
    failures=$((failures + 1))
    say "FAIL  $name: $detail"
  fi
}

# --- Road checks.

config_fetched() {
  local tunnel get
  tunnel=$(first_request CONNECT data.tidwen.example 'data\.tidwen\.example:443') || { echo "no CONNECT data.tidwen.example:443"; return 1; }
  get=$(first_request GET data.tidwen.example '/tidwen/v2/mac\.xml' "$tunnel") || { echo "no GET of /tidwen/v2/mac.xml after the tunnel"; return 1; }
  [ "$(status_of "$get")" = 200 ] || { echo "the configuration GET was answered $(status_of "$get")"; return 1; }
  echo "(CONNECT #$tunnel, GET #$get)"
}

launch_report() {
  local seq uid
  seq=$(first_request GET report.tidwen.example '/receive/postdata\.aspx\?uid=[0-9a-f]+') || { echo "no launch report"; return 1; }
  uid=$(field_of "$seq" uid)
  local record='^version:[0-9][^;]*;business:ponwel;setup:;cpu:;memory:;disk:;partition:[0-9]+\.[0-9];resolution:[0-9]+\.[0-9]{6}x[0-9]+\.[0-9]{6};mac:[^;]*;os:[0-9]+\.[0-9]{6};ie:;process:;autorun:;browser:;defaultbrowser:;enablemainpage:;enablesearch:;protectmainpage:;protectsearch:;$'
  [[ $uid =~ $record ]] || { echo "uid deciphers to \"$uid\""; return 1; }
  echo "(#$seq: $uid)"
}

# HEAD then GET of a feed, both without "?r=" (the first refresh of a fresh program).
feed_head_then_get() {
  local path=$1 head get
  head=$(first_request HEAD api.tidwen.example "$path") || { echo "no HEAD of $path without ?r="; return 1; }
  get=$(first_request GET api.tidwen.example "$path" "$head") || { echo "HEAD #$head of $path, but no GET without ?r= after it"; return 1; }
  [ "$(status_of "$get")" = 200 ] || { echo "GET of $path answered $(status_of "$get")"; return 1; }
  echo "(HEAD #$head, GET #$get)"
}

article_path='/xml/newscontent/[0-9]+/[0-9]+\.xml'
first_article_head() {
  first_request HEAD api.tidwen.example "$article_path" "$(first_request GET api.tidwen.example '/xml/newslist/news\.xml' || echo 0)"
}

article_loaded() {
  local head target get
  head=$(first_article_head) || { echo "no article HEAD after the list"; return 1; }
  [[ $(request_line "$head") =~ \"target\":\"([^\"]*)\" ]] && target=${BASH_REMATCH[1]}
  get=$(first_request GET api.tidwen.example "${target//./\\.}\\?r=[0-9]+" "$head") ||
    { echo "HEAD #$head of $target, but no GET of it with ?r=<number>"; return 1; }
  echo "(HEAD #$head $target, GET #$get)"
}

# The side requests of the first article, each with the article's id in its own encoding.
article_id() {
  local head target
  head=$(first_article_head) || return 1
  [[ $(request_line "$head") =~ \"target\":\"/xml/newscontent/([0-9]+)/([0-9]+)\.xml\" ]] || return 1
  local folder=${BASH_REMATCH[1]} stem=${BASH_REMATCH[2]}
  if [ "$folder" = 0 ]; then echo "$((10#$stem))"; else echo "$folder$stem"; fi
}

side_request() {
  local what=$1 method=$2 host=$3 target=$4 field=${5:-} id seq
  id=$(article_id) || { echo "no article opened"; return 1; }
  seq=$(first_request "$method" "$host" "${target//@ID@/$id}") || { echo "no $what request for article $id"; return 1; }
  [ "$(status_of "$seq")" = 200 ] || { echo "$what #$seq answered $(status_of "$seq")"; return 1; }
  if [ -n "$field" ]; then
    local value
    value=$(field_of "$seq" "$field")
    [ "$value" = "$id" ] || { echo "$what #$seq: $field deciphers to \"$value\", not $id"; return 1; }
  fi
  echo "(#$seq)"
}

hot_comments() { side_request "hot-comment" GET api.tidwen.example '/json/hotcommentlist/[0-9]+/[0-9A-F]+\.json\?r=[0-9]+' newsid; }
related_news() { side_request "related-news" GET api.tidwen.example '/json/tags/[0-9]{4}/@ID@\.json\?r=[0-9]+'; }
deals_block() {
  local seq
  seq=$(first_request GET api.zefup.tidwen.example '/api/apps/douzaimai\?count=3&signature=[0-9A-F]{32}&timestamp=[0-9]+') ||
    { echo "no signed deals-block request"; return 1; }
  [ "$(field_of "$seq" signature)" != wrong ] || { echo "deals #$seq: the stand-in refused its signature"; return 1; }
  echo "(#$seq)"
}
comment_count() { side_request "comment-count" POST api.tidwen.example '/api/comment\.asmx/GetCommentCount' strNewsID; }
article_score() { side_request "score" GET api.tidwen.example '/api/newsgrade/get\?newsid=@ID@&userid=[0-9]+&r=[0-9]+'; }

# --- Main mode.
client=${1:?usage: binary_smoke.sh <tidwen> <tidwen-standin> [seconds]}
standin=${2:?usage: binary_smoke.sh <tidwen> <tidwen-standin> [seconds]}
seconds=${3:-240}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)

# The program judges the network by the kernel's routes: without a default route it is offline
# and sends nothing worth checking.
has_default_route() {
  awk 'NR > 1 && $2 == "00000000" && $1 != "lo" { found = 1 } END { exit !found }' /proc/net/route 2>/dev/null && return 0
  awk '$1 == "00000000000000000000000000000000" && $2 == "00" && $10 != "lo" { found = 1 } END { exit !found }' \
    /proc/net/ipv6_route 2>/dev/null
}
if ! has_default_route; then
  echo "FAIL  this machine has no default route, so the program believes it is offline and sends no request;" \
    "give it a default route (any gateway: the stand-in answers every request)"
  exit 1
fi

work_dir=$(mktemp -d "${TMPDIR:-/tmp}/tidwen-smoke.XXXXXX")
trap 'rm -rf "$work_dir"' EXIT
mkdir -p "$work_dir/home" "$work_dir/first" "$work_dir/second"

# In a sanitized build the libraries trip reports of their own: the web engine's sized delete of
# one of its objects and the allocations it keeps until exit, the disk cache's device dropped by
# updateMetaData when it cannot prepare the new entry (told by its name, so stacks are taken
# through the libraries' frames), and OpenSSL's per-thread error and random state of worker
# threads that still run when the program ends. Those stay out; every other report counts.
{
  cat "$top/tests/support/lsan.supp" 2>/dev/null
  echo "leak:libQt6WebEngineCore.so"
  echo "leak:QNetworkDiskCache::updateMetaData"
  echo "leak:CRYPTO_zalloc"
} >"$work_dir/lsan.supp"
asan_options="${ASAN_OPTIONS:+$ASAN_OPTIONS:}new_delete_type_mismatch=0:fast_unwind_on_malloc=0"
lsan_options="suppressions=$work_dir/lsan.supp:print_suppressions=0"

say "binary_smoke: $client until the road's requests are in (at most $seconds s), then again on the same home, against $standin (work folder $work_dir)"
# The requests each run's checks look for, one extended regular expression a line.
first_run_requests='/tidwen/v2/mac\.xml
/receive/postdata\.aspx
/xml/slide/slide\.xml
/xml/newscontent/[^"]*\?r=[0-9]+
/json/hotcommentlist/
/json/tags/
/api/apps/douzaimai
GetCommentCount
/api/newsgrade/get'
second_run_requests='/xml/newslist/news\.xml
/xml/newscontent/
/receive/postdata\.aspx'
# run_program <folder> <seconds> <requests>: one run of the program through run.sh; its logs go to
# the folder.
run_program() {
  HOME="$work_dir/home" XDG_DATA_HOME="$work_dir/home/.local/share" XDG_CONFIG_HOME="$work_dir/home/.config" \
    XDG_CACHE_HOME="$work_dir/home/.cache" XDG_RUNTIME_DIR="$work_dir" \
    QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 ASAN_OPTIONS="$asan_options" LSAN_OPTIONS="$lsan_options" \
    TIDWEN_SKIP_BUILD=1 TIDWEN_CLIENT="$here/binary_smoke.sh" TIDWEN_STANDIN="$standin" \
    TIDWEN_STANDIN_SEED=7 TIDWEN_STANDIN_NOW=2026-12-07T08:00:00Z \
    TIDWEN_SMOKE_CLIENT="$client" TIDWEN_SMOKE_WORK="$1" TIDWEN_SMOKE_SECONDS="$2" TIDWEN_SMOKE_UNTIL="$3" \
    bash "$top/scripts/run.sh" >"$1/run.log" 2>&1
  local run_status=$?
  if [ ! -f "$1/requests.jsonl" ]; then
    echo "FAIL  no request log from the stand-in (run.sh ended with $run_status):"
    cat "$1/run.log" "$1/client.log" 2>/dev/null | tail -n 40
    exit 1
  fi
  say "--- program log (last 40 lines)"
  tail -n 40 "$1/client.log"
  say "--- $(wc -l <"$1/requests.jsonl") requests reached the stand-in"
}

program_clean() {
  if grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$run_dir/client.log"; then
    grep -m1 -A40 -E 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$run_dir/client.log"
    return 1
  fi
  grep -q 'did not end within' "$run_dir/client.log" && { echo "the program hung on SIGTERM"; return 1; }
  echo "(no sanitizer report)"
}
program_ended() {
  local status
  status=$(cat "$run_dir/client.status" 2>/dev/null)
  [ "$status" = 0 ] || { echo "the program ended with status $status"; return 1; }
  echo "(ended with 0 after SIGTERM)"
}

run_program "$work_dir/first" "$seconds" "$first_run_requests"
run_dir=$work_dir/first
check "program ran without a sanitizer report and did not hang" program_clean
check "program ended normally on SIGTERM" program_ended
check "start-up: CONNECT to the configuration host, configuration fetched" config_fetched
check "start-up: launch report whose uid deciphers to the record" launch_report
check "list: HEAD then GET of news.xml without ?r=" feed_head_then_get '/xml/newslist/news\.xml'
check "list: HEAD then GET of slide.xml without ?r=" feed_head_then_get '/xml/slide/slide\.xml'
check "article: the first item opens by itself, HEAD then GET with ?r=" article_loaded
check "side: hot comments, id enciphered in the path" hot_comments
check "side: related news" related_news
check "side: deals block, signed" deals_block
check "side: comment count, strNewsID deciphers to the id" comment_count
check "side: article score" article_score

# The second start finds the first one's list, article and database.
second_list_head() {
  local head
  head=$(first_request HEAD api.tidwen.example '/xml/newslist/news\.xml(\?r=[0-9]+)?') || { echo "no HEAD of news.xml"; return 1; }
  echo "(HEAD #$head)"
}
second_article_head() {
  local head
  head=$(first_request HEAD api.tidwen.example "$article_path") || { echo "no article HEAD"; return 1; }
  echo "(HEAD #$head)"
}
run_program "$work_dir/second" "$seconds" "$second_run_requests"
run_dir=$work_dir/second
check "second start: ran without a sanitizer report and did not hang" program_clean
check "second start: ended normally on SIGTERM" program_ended
check "second start: the cached list is checked with a HEAD of news.xml" second_list_head
check "second start: the first item opens, its HEAD sent" second_article_head
check "second start: launch report sent again" launch_report

echo "binary_smoke: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
