#!/usr/bin/env bash
# Makes the test certificate authority and the server certificates that the HTTPS tests, the
# benchmarks and the demo use, in <folder> (default build/test-ca). Nothing here is ever trusted
# by the product: only launchers built with VELMORA_CA_BUNDLE pointing at <folder>/ca.pem trust
# this authority.
#
#   ca.pem                 the test authority (what VELMORA_CA_BUNDLE names)
#   localhost.pem/.key     for localhost and 127.0.0.1, signed by the test authority
#   wrong-host.pem/.key    for wrong-host.velmora.invalid only, signed by the test authority
#   expired.pem/.key       for localhost and 127.0.0.1, signed by the test authority, expired 2021
#   stranger.pem/.key      for localhost and 127.0.0.1, signed by another authority
#
# Safe to run again, also from several processes at once (they take turns): a complete set that
# stays valid for another 30 days is kept; otherwise a new set replaces it.
set -euo pipefail

folder=$(realpath -m "${1:-build/test-ca}")
keep_seconds=$((30 * 24 * 3600))
mkdir -p "$(dirname "$folder")"
exec 9> "$folder.lock"
flock 9

complete() {
  local f
  for f in ca.pem localhost.pem localhost.key wrong-host.pem wrong-host.key expired.pem \
           expired.key stranger.pem stranger.key; do
    [ -s "$folder/$f" ] || return 1
  done
  openssl x509 -checkend "$keep_seconds" -noout -in "$folder/ca.pem" >/dev/null &&
    openssl x509 -checkend "$keep_seconds" -noout -in "$folder/localhost.pem" >/dev/null
}

complete && exit 0

work=$(mktemp -d "$folder.new.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

quiet() { "$@" >/dev/null 2>&1 || { echo "test-certificates: $* failed" >&2; "$@"; exit 1; }; }

# authority <name> <common name>
authority() {
  quiet openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$1.key" -out "$1.pem" -days 825 -subj "/O=Velmora tests/CN=$2" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
}

# server <name> <authority> <subjectAltName> [<start date> <end date>]
# openssl ca sets any validity period, past ones included; openssl x509 cannot in this version.
server() {
  local name=$1 issuer=$2 names=$3 start=${4:-} end=${5:-}
  quiet openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$name.key" -out "$name.csr" -subj "/O=Velmora tests/CN=$name"
  mkdir -p "db-$name"
  : > "db-$name/index.txt"
  cat > "$name.cnf" <<CONF
[ca]
default_ca = test
[test]
database = db-$name/index.txt
new_certs_dir = db-$name
certificate = $issuer.pem
private_key = $issuer.key
serial = db-$name/serial
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
x509_extensions = leaf
[anything]
organizationName = optional
commonName = supplied
[leaf]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = $names
CONF
  openssl rand -hex 16 > "db-$name/serial"
  if [ -n "$start" ]; then
    quiet openssl ca -batch -notext -config "$name.cnf" -in "$name.csr" -out "$name.pem" \
      -startdate "$start" -enddate "$end"
  else
    quiet openssl ca -batch -notext -config "$name.cnf" -in "$name.csr" -out "$name.pem" -days 800
  fi
}

authority ca "Velmora Test Authority"
authority other "Another Authority"
server localhost ca "DNS:localhost,IP:127.0.0.1"
server wrong-host ca "DNS:wrong-host.velmora.invalid"
server expired ca "DNS:localhost,IP:127.0.0.1" 20200101000000Z 20210101000000Z
server stranger other "DNS:localhost,IP:127.0.0.1"

mkdir -p "$folder"
for f in localhost wrong-host expired stranger ca; do
  chmod 644 "$f.pem"
  [ "$f" = ca ] || { chmod 600 "$f.key"; mv -f "$f.key" "$folder/"; }
  mv -f "$f.pem" "$folder/"
done
