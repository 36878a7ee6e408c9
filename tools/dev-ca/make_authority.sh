#!/usr/bin/env bash
# Makes the development certificate authority: authority.key (RSA 2048) and
# authority.der, a self-signed X.509 v3 certificate with serial 0,
# sha256WithRSAEncryption, basic constraints as its one extension (no key
# identifiers) and a six-attribute subject, 999 bytes in DER. Every other part
# of the certificate has a fixed size and the subject is there twice, so the
# size is odd only through the path length (32, the walk's bound) and the
# organisational unit is as long as it is to land on 999. Run once; the
# results are kept in the repository. DEVELOPMENT ONLY: never sign a release
# with this key.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[ -f authority.key ] || openssl genrsa -out authority.key 2048 2>/dev/null
subject="/CN=${KORIN_CA_CN:-Tervalonix Update CA}/ST=${KORIN_CA_ST:-Dev}/C=ZZ/emailAddress=${KORIN_CA_EMAIL:-ca@tervalonix.invalid}/O=${KORIN_CA_O:-Tervalonix}/OU=${KORIN_CA_OU:-Korin Player (development; key is known)}"

cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = dev
[dev]
dir = $work
database = $work/index.txt
serial = $work/serial
new_certs_dir = $work
default_md = sha256
policy = anything
preserve = yes
email_in_dn = yes
unique_subject = no
copy_extensions = none
[anything]
commonName = optional
stateOrProvinceName = optional
countryName = optional
emailAddress = optional
organizationName = optional
organizationalUnitName = optional
[authority]
basicConstraints = critical, CA:TRUE, pathlen:32
subjectKeyIdentifier = none
authorityKeyIdentifier = none
[req]
distinguished_name = dn
[dn]
CNF
: >"$work/index.txt"
echo 00 >"$work/serial"
openssl req -new -key authority.key -subj "$subject" -config "$work/ca.cnf" -out "$work/ca.csr"
openssl ca -batch -selfsign -config "$work/ca.cnf" -keyfile authority.key -in "$work/ca.csr" \
    -extensions authority -startdate 20200101000000Z -enddate 20491231235959Z \
    -notext -out "$work/ca.pem" 2>/dev/null
openssl x509 -in "$work/ca.pem" -outform DER -out authority.der
size=$(wc -c <authority.der)
[ "$size" -eq 999 ] || { echo "make_authority.sh: $size bytes, not 999" >&2; exit 1; }
