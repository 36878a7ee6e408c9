#!/usr/bin/env bash
# Makes the signed-package test vectors in OUT_DIR with the openssl command
# line and the development authority: NAME.p7 packages and the installer they
# carry (installer.bin, and empty.bin for the empty-content package), and the
# certificate of the other root that bears the authority's name
# (other-root-same-name.der). The verdict each must get is the tests' business.
set -euo pipefail
out="$1"
here=$(cd "$(dirname "$0")" && pwd)
tool="$here/../../tools/sign-package/sign-package"
ca_der="$here/../../tools/dev-ca/authority.der"
ca_key="$here/../../tools/dev-ca/authority.key"
rm -rf "$out.tmp"
mkdir -p "$out.tmp"
cd "$out.tmp"

issue() { "$tool" issue "$@"; }
sign() { "$tool" sign "$@"; }
# Inverts the byte of FILE at OFFSET.
flip() {
    local byte
    byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "$(printf '\\%03o' $((byte ^ 0xFF)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

{
    printf 'KORIN-TEST-INSTALLER\n'
    head -c 3000 /dev/urandom
} >installer.bin
: >empty.bin
openssl x509 -inform DER -in "$ca_der" -out authority.pem

# Certificates under the development authority.
issue --subject "/CN=Direct Signer" --serial 11 --out-cert signer.pem --out-key signer.key
issue --subject "/CN=Second Signer" --serial 22 --out-cert second.pem --out-key second.key
issue --subject "/CN=Expired Signer" --serial 12 --start 20010101000000Z --end 20021231235959Z \
    --out-cert expired.pem --out-key expired.key
issue --subject "/CN=Future Signer" --serial 13 --start 20900101000000Z --end 20951231235959Z \
    --out-cert future.pem --out-key future.key
issue --subject "/CN=Intermediate One" --intermediate --serial 21 --out-cert i1.pem --out-key i1.key
issue --subject "/CN=Intermediate Two" --intermediate --ca-cert i1.pem --ca-key i1.key \
    --out-cert i2.pem --out-key i2.key
issue --subject "/CN=Intermediate Three" --intermediate --ca-cert i2.pem --ca-key i2.key \
    --out-cert i3.pem --out-key i3.key
issue --subject "/CN=Chained Signer" --ca-cert i1.pem --ca-key i1.key \
    --out-cert chained.pem --out-key chained.key
issue --subject "/CN=Deep Signer" --ca-cert i3.pem --ca-key i3.key \
    --out-cert deep.pem --out-key deep.key
issue --subject "/CN=Keyed Intermediate" --intermediate --key-ids \
    --out-cert ki.pem --out-key ki.key
issue --subject "/CN=Keyed Signer" --key-ids --ca-cert ki.pem --ca-key ki.key \
    --out-cert ks.pem --out-key ks.key
issue --subject "/CN=Expired Intermediate" --intermediate --start 20010101000000Z \
    --end 20021231235959Z --out-cert ei.pem --out-key ei.key
issue --subject "/CN=Signer Under Expired" --ca-cert ei.pem --ca-key ei.key \
    --out-cert ue.pem --out-key ue.key
# Chains that fail below their last link, the last link holding: an expired
# signer under a carried intermediate; a signer, and an intermediate, naming
# their real issuer but signed by an impostor of the same name.
issue --subject "/CN=Expired Chained Signer" --ca-cert i1.pem --ca-key i1.key \
    --start 20010101000000Z --end 20021231235959Z --out-cert ecs.pem --out-key ecs.key
issue --subject "/CN=Intermediate One" --intermediate --out-cert fake-i1.pem --out-key fake-i1.key
issue --subject "/CN=Impostor Signer" --ca-cert fake-i1.pem --ca-key fake-i1.key \
    --out-cert is.pem --out-key is.key
issue --subject "/CN=Intermediate Two" --intermediate --ca-cert fake-i1.pem --ca-key fake-i1.key \
    --out-cert fake-i2.pem --out-key fake-i2.key
issue --subject "/CN=Signer Under Impostor" --ca-cert fake-i2.pem --ca-key fake-i2.key \
    --out-cert ui.pem --out-key ui.key
# Two intermediates of one name with different keys, both carried: only the
# signer's authority key identifier tells which one issued it.
issue --subject "/CN=Twin Intermediate" --intermediate --key-ids --out-cert ta.pem --out-key ta.key
issue --subject "/CN=Twin Intermediate" --intermediate --key-ids --out-cert tb.pem --out-key tb.key
issue --subject "/CN=Signer Under Twin A" --key-ids --ca-cert ta.pem --ca-key ta.key \
    --out-cert sa.pem --out-key sa.key
issue --subject "/CN=Signer Under Twin B" --key-ids --ca-cert tb.pem --ca-key tb.key \
    --out-cert sb.pem --out-key sb.key
# Another root, once with a name of its own and once with the authority's.
issue --subject "/CN=Other Root" --intermediate --self-signed --out-cert other.pem --out-key other.key
issue --subject "/CN=Other Signer" --ca-cert other.pem --ca-key other.key \
    --out-cert os.pem --out-key os.key
issue --subject "$(openssl x509 -in authority.pem -noout -subject -nameopt compat | sed 's/^subject=//')" \
    --intermediate --self-signed --serial 00 --out-cert twin.pem --out-key twin.key
issue --subject "/CN=Twin Signer" --ca-cert twin.pem --ca-key twin.key \
    --out-cert ts.pem --out-key ts.key

sign --signer signer.pem --key signer.key installer.bin direct.p7
sign --signer chained.pem --key chained.key --certs i1.pem installer.bin one-intermediate.p7
sign --signer deep.pem --key deep.key --certs i3.pem --certs i2.pem --certs i1.pem \
    installer.bin several-intermediates.p7
sign --signer signer.pem --key signer.key --certs authority.pem installer.bin carries-authority.p7
sign --signer authority.pem --key "$ca_key" installer.bin signed-by-authority.p7
sign --signer ks.pem --key ks.key --certs ki.pem installer.bin key-identifiers.p7
sign --signer signer.pem --key signer.key --no-attributes installer.bin no-attributes.p7
sign --signer signer.pem --key signer.key --digest sha1 installer.bin sha1-digest.p7
sign --signer signer.pem --key signer.key empty.bin empty-content.p7
sign --signer expired.pem --key expired.key installer.bin signer-expired.p7
sign --signer future.pem --key future.key installer.bin signer-not-yet-valid.p7
sign --signer ue.pem --key ue.key --certs ei.pem installer.bin intermediate-expired.p7
sign --signer os.pem --key os.key --certs other.pem installer.bin other-root.p7
sign --signer ts.pem --key ts.key --certs twin.pem installer.bin other-root-same-name.p7
sign --signer chained.pem --key chained.key installer.bin intermediate-missing.p7
sign --signer ecs.pem --key ecs.key --certs i1.pem installer.bin signer-expired-under-intermediate.p7
sign --signer is.pem --key is.key --certs i1.pem installer.bin signer-of-another-key.p7
sign --signer ui.pem --key ui.key --certs fake-i2.pem --certs i1.pem \
    installer.bin intermediate-of-another-key.p7
sign --signer sa.pem --key sa.key --certs ta.pem --certs tb.pem installer.bin same-name-issuer-a.p7
sign --signer sb.pem --key sb.key --certs ta.pem --certs tb.pem installer.bin same-name-issuer-b.p7
sign --signer signer.pem --key signer.key --signer second.pem --key second.key \
    installer.bin two-signers-first-good.p7
sign --signer expired.pem --key expired.key --signer second.pem --key second.key \
    installer.bin two-signers-first-bad.p7

cp direct.p7 content-altered.p7
offset=$(LC_ALL=C grep -obUa 'KORIN-TEST-INSTALLER' content-altered.p7 | head -1 | cut -d: -f1)
flip content-altered.p7 $((offset + 3))
cp no-attributes.p7 content-altered-no-attributes.p7
offset=$(LC_ALL=C grep -obUa 'KORIN-TEST-INSTALLER' content-altered-no-attributes.p7 | head -1 | cut -d: -f1)
flip content-altered-no-attributes.p7 $((offset + 3))
# The signature is the message's last element.
cp direct.p7 signature-broken.p7
flip signature-broken.p7 $(($(stat -c %s direct.p7) - 9))
: >empty.p7
head -c 2048 /dev/urandom >random.p7
head -c $(($(stat -c %s direct.p7) - 100)) direct.p7 >truncated.p7
head -c 40 direct.p7 >truncated-header.p7
openssl cms -data_create -binary -in installer.bin -outform DER -out not-signed-data.p7

# The other root that bears the authority's name, for its name to be compared.
openssl x509 -in twin.pem -outform DER -out other-root-same-name.der
rm -f ./*.key ./*.pem
cd ..
rm -rf "$out"
mv "$out.tmp" "$out"
