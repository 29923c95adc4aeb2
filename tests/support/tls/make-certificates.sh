#!/bin/bash
# Makes a throwaway certificate authority and server certificates for tests.
#
#   make-certificates.sh <folder>
#
# Writes into <folder> (keys P-256, PEM):
#   ca.pem                      the authority (to be trusted by the client under test)
#   server.pem  server.key      by the authority, for localhost and 127.0.0.1
#   other.pem   other.key       by the authority, for mail.other.test only
#   expired.pem expired.key     by the authority, for localhost, valid in 2020 only
#   self.pem    self.key        self-signed, for localhost and 127.0.0.1
#   weak.pem    weak.key        self-signed, for localhost, with a 1024-bit RSA key
#   rsa1024.pem rsa1024.key     by the authority, for localhost, with a 1024-bit RSA key
#   sha1.pem    sha1.key        by the authority, for localhost, signed with SHA-1
#   forged.pem  forged.key      self-signed, a common name holding LF, CR and ESC
# Nothing outside <folder> is touched.
set -eu
[ $# -eq 1 ] || { echo "usage: $0 <folder>" >&2; exit 2; }
mkdir -p "$1"
cd "$1"

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }

key ca.key
openssl req -x509 -new -key ca.key -out ca.pem -days 30 -subj "/O=Vindel Tests/CN=Vindel Test Authority" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"

mkdir -p db
: >db/index.txt
echo 1000 >db/serial
cat >ca.cnf <<CONF
[ca]
default_ca = test
[test]
database = db/index.txt
serial = db/serial
new_certs_dir = db
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[any]
commonName = supplied
organizationName = optional
[localhost]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost,IP:127.0.0.1
[other]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
subjectAltName = DNS:mail.other.test
CONF

# sign <name> <common name> <extensions> <date options...>; KEY=rsakey for a weak key
sign() {
    name=$1 cn=$2 ext=$3
    shift 3
    ${KEY:-key} "$name.key"
    openssl req -new -key "$name.key" -out "$name.csr" -subj "/O=Vindel Tests/CN=$cn"
    openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -extensions "$ext" \
        -in "$name.csr" -out "$name.pem" "$@" 2>/dev/null
}
rsakey() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out "$1" 2>/dev/null; }

sign server localhost localhost -days 30
sign other mail.other.test other -days 30
sign expired localhost localhost -startdate 20200101000000Z -enddate 20201231000000Z

key self.key
openssl req -x509 -new -key self.key -out self.pem -days 30 -subj "/O=Vindel Tests/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1"
KEY=rsakey sign rsa1024 localhost localhost -days 30
sign sha1 localhost localhost -days 30 -md sha1

rsakey weak.key
openssl req -x509 -new -key weak.key -out weak.pem -days 30 -subj "/O=Vindel Tests/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1"
key forged.key
openssl req -x509 -new -key forged.key -out forged.pem -days 30 \
    -subj $'/O=Vindel Tests/CN=localhost\nforged\r\e[2J'
