#!/usr/bin/env bash
# Runs the project's own nginx in the foreground (a process of whoever starts it, never the
# system's service) serving a published patch tree over HTTPS with the test certificates.
#
#   scripts/web-server.sh --run <folder> --tree <patch tree> --port <port>
#                         [--certificates <folder>] [--certificate-cases <p1> <p2> <p3>]
#                         [--limit-rate <rate>]
#
# <folder> receives the configuration (from tools/nginx/test-server.conf.in), the logs
# (access.log names each request's connection, see the config) and nginx's own files. The tree
# is served at https://localhost:<port>/patch/ (also 127.0.0.1), with HTTP/2 and keep-alive, and
# the demo's information page at /mini/. --certificates names the folder of
# scripts/test-certificates.sh (default build/test-ca; made there when missing).
# --certificate-cases serves the same tree on three more ports behind a certificate for another
# host name, an expired one and one from another authority. --limit-rate sends each answer at
# most that fast (nginx's limit_rate, e.g. 64m), for tests that stop a transfer midway.
# Ends on SIGTERM or SIGQUIT (graceful).
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)

run= tree= port= certificates=$source_dir/build/test-ca cases=() limit_rate=0
while [ $# -gt 0 ]; do
  case $1 in
    --run) run=$2; shift 2 ;;
    --tree) tree=$2; shift 2 ;;
    --port) port=$2; shift 2 ;;
    --certificates) certificates=$2; shift 2 ;;
    --certificate-cases) cases=("$2" "$3" "$4"); shift 4 ;;
    --limit-rate) limit_rate=$2; shift 2 ;;
    *) echo "web-server: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$run" ] || [ -z "$tree" ] || [ -z "$port" ]; then
  echo "usage: $0 --run <folder> --tree <patch tree> --port <port>" \
       "[--certificates <folder>] [--certificate-cases <p1> <p2> <p3>] [--limit-rate <rate>]" >&2
  exit 2
fi
command -v nginx >/dev/null || PATH=$PATH:/usr/sbin
command -v nginx >/dev/null || { echo "web-server: nginx is not installed (scripts/setup.sh)" >&2; exit 1; }

"$source_dir/scripts/test-certificates.sh" "$certificates"
run=$(realpath -m "$run")
mkdir -p "$run/tmp" "$run/www/mini"
ln -sfn "$(realpath "$tree")" "$run/www/patch"
ln -sfn "$(realpath "$certificates")" "$run/certificates"
cp "$source_dir/tools/patchserver/mini/index.html" "$run/www/mini/index.html"

if ! [[ $limit_rate =~ ^[0-9]+[km]?$ ]]; then
  echo "web-server: --limit-rate takes a number of bytes per second (k or m after it)" >&2
  exit 2
fi
substitutions=(-e "s|@PORT@|$port|g" -e "s|@NGINX_DIR@|$source_dir/tools/nginx|g"
               -e "s|@LIMIT_RATE@|$limit_rate|g")
if [ ${#cases[@]} -eq 3 ]; then
  substitutions+=(-e "s|@WRONG_HOST_PORT@|${cases[0]}|" -e "s|@EXPIRED_PORT@|${cases[1]}|"
                  -e "s|@STRANGER_PORT@|${cases[2]}|")
else
  substitutions+=(-e '/^#@certificate-cases/,/^#@end/d')
fi
sed "${substitutions[@]}" "$source_dir/tools/nginx/test-server.conf.in" > "$run/nginx.conf"
: > "$run/access.log"
exec nginx -p "$run/" -c "$run/nginx.conf" -e "$run/error.log"
