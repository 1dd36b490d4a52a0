#!/bin/sh
# Makes the TLS test fixtures in tests/certs/ (committed; rerun only to renew):
#   ca.pem, ca-key.pem               test CA
#   server.pem, server-key.pem       127.0.0.1 / localhost, signed by the CA
#   untrusted.pem, untrusted-key.pem self-signed, not trusted by anything
#   expired.pem, expired-key.pem     signed by the CA, expired in 2001
#   wronghost.pem, wronghost-key.pem signed by the CA for another host name
set -eu

out=${1:-$(dirname "$0")/../tests/certs}
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
days=20000  # about 54 years

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$1"; }

# Extensions for a server certificate; $1 is its subjectAltName.
server_ext() {
  cat > "$work/ext.cnf" <<EXT
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = $1
EXT
}

# A certificate request for $1 (file stem) with key $1-key.pem.
request() {
  key "$out/$1-key.pem"
  openssl req -new -key "$out/$1-key.pem" -subj "/CN=$2" -out "$work/$1.csr"
}

# Test CA.
key "$out/ca-key.pem"
openssl req -new -x509 -key "$out/ca-key.pem" -days $days -subj "/CN=luting test CA" \
  -addext "basicConstraints = critical, CA:TRUE" \
  -addext "keyUsage = critical, keyCertSign, cRLSign" \
  -addext "subjectKeyIdentifier = hash" \
  -out "$out/ca.pem"

# Server certificate for 127.0.0.1 and localhost.
request server 127.0.0.1
server_ext "IP:127.0.0.1, DNS:localhost"
openssl x509 -req -in "$work/server.csr" -CA "$out/ca.pem" -CAkey "$out/ca-key.pem" \
  -set_serial 2 -days $days -extfile "$work/ext.cnf" -out "$out/server.pem"

# Signed by the CA, but for a host name the tests never use.
request wronghost other.example
server_ext "DNS:other.example"
openssl x509 -req -in "$work/wronghost.csr" -CA "$out/ca.pem" -CAkey "$out/ca-key.pem" \
  -set_serial 3 -days $days -extfile "$work/ext.cnf" -out "$out/wronghost.pem"

# Self-signed for 127.0.0.1: right name, no trusted issuer.
key "$out/untrusted-key.pem"
openssl req -new -x509 -key "$out/untrusted-key.pem" -days $days -subj "/CN=127.0.0.1" \
  -addext "subjectAltName = IP:127.0.0.1, DNS:localhost" \
  -out "$out/untrusted.pem"

# Expired: `openssl ca` is the CLI tool that takes explicit validity dates.
request expired 127.0.0.1
server_ext "IP:127.0.0.1, DNS:localhost"
mkdir "$work/db"
: > "$work/db/index.txt"
echo 04 > "$work/db/serial"
cat > "$work/ca.cnf" <<CNF
[ca]
default_ca = test_ca
[test_ca]
dir = $work/db
database = \$dir/index.txt
serial = \$dir/serial
new_certs_dir = \$dir
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[any]
commonName = supplied
CNF
openssl ca -batch -notext -config "$work/ca.cnf" -cert "$out/ca.pem" -keyfile "$out/ca-key.pem" \
  -startdate 20000101000000Z -enddate 20010101000000Z -extfile "$work/ext.cnf" \
  -in "$work/expired.csr" -out "$out/expired.pem" 2> "$work/ca.log" || { cat "$work/ca.log" >&2; exit 1; }

echo "made the test certificates in $out"
