#!/usr/bin/env bash
# Makes a throw-away certificate authority and a server certificate for
# "localhost", the default update host and its mirror, signed by it, in DIR:
# ca.pem, server.pem (chain), server.key. Test use only.
set -euo pipefail
dir=${1:?usage: make_test_certificates.sh DIR}
mkdir -p "$dir"
cd "$dir"
curve=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
openssl req -x509 "${curve[@]}" -keyout ca.key -out ca.pem -days 30 \
    -subj "/CN=Korin Update Test Authority" \
    -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req "${curve[@]}" -keyout server.key -out server.csr \
    -subj "/CN=localhost" 2>/dev/null
printf '%s\n' "subjectAltName=DNS:localhost,DNS:update.korinplayer.example,DNS:mirror.korinplayer.example" \
    "basicConstraints=critical,CA:FALSE" "extendedKeyUsage=serverAuth" > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial \
    -out server.crt -days 30 -extfile server.ext 2>/dev/null
cat server.crt ca.pem > server.pem
rm -f server.csr server.ext ca.srl
