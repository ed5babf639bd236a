#!/usr/bin/env bash
# Makes the protected documents of PdfSecurityTest and, as what each must decrypt to, its twin
# that qpdf decrypted (<name>.decrypted.pdf). Needs qpdf (the Debian package); the tests do not.
# qpdf picks new salts and document IDs on every run, so a run replaces every file.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One page whose content stream shows a line of text, and an information dictionary with three
# strings: one of exactly 16 bytes (a whole AES block, so the padding is a block of its own), and
# one with escapes and a byte above 127.
cat >"$work/source.pdf" <<'PDF'
%PDF-1.7
1 0 obj
<< /Type /Catalog /Pages 2 0 R >>
endobj
2 0 obj
<< /Type /Pages /Kids [3 0 R] /Count 1 >>
endobj
3 0 obj
<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 100] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>
endobj
4 0 obj
<< /Length 57 >>
stream
BT /F1 12 Tf 20 50 Td (Quarterly figures, draft 7) Tj ET
endstream
endobj
5 0 obj
<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>
endobj
6 0 obj
<< /Title (Owner-only protection) /Subject (Sixteen bytes!!!) /Keywords (parens \(a\) back\\slash caf\351) >>
endobj
trailer
<< /Root 1 0 R /Info 6 0 R /Size 7 >>
%%EOF
PDF
# Plain objects, no object streams, streams left uncompressed: a test reads them with a few lines.
layout=(--object-streams=disable --compress-streams=n)
# The source has no cross-reference table: qpdf rebuilds it and says so (exit status 3).
qpdf "${layout[@]}" "$work/source.pdf" "$work/base.pdf" || [ $? -eq 3 ]
encrypt() { # name user-password key-bits [options...]
    local name=$1 user=$2 bits=$3
    shift 3
    qpdf "${layout[@]}" --allow-weak-crypto --encrypt "$user" owner-secret "$bits" "$@" -- "$work/base.pdf" "$name.pdf"
}
encrypt rc4-40 "" 40                                       # revision 2, RC4 with a 40-bit key
encrypt rc4-128 "" 128 --use-aes=n                         # revision 3, RC4 with a 128-bit key
encrypt rc4-128-v4 "" 128 --use-aes=n --force-V4           # revision 4, RC4 through crypt filters
encrypt aes-128 "" 128 --use-aes=y                         # revision 4, AES-128
encrypt aes-128-clear-metadata "" 128 --use-aes=y --cleartext-metadata
encrypt aes-256-r5 "" 256 --force-R5                       # revision 5, AES-256
encrypt aes-256 "" 256                                     # revision 6, AES-256
encrypt user-password-rc4 "letmein" 128 --use-aes=n        # these two ask for a password
encrypt user-password-aes-256 "letmein" 256

for f in rc4-40 rc4-128 rc4-128-v4 aes-128 aes-128-clear-metadata aes-256-r5 aes-256; do
    qpdf "${layout[@]}" --decrypt "$f.pdf" "$f.decrypted.pdf"
done

# The hash of revision 6 runs a number of rounds that depends on its own output. 100 documents
# (200 hashes: the check of /U and the key) reach every way it can end; for each, /U, /UE and the
# key qpdf derived from them.
for i in $(seq 100); do
    qpdf --encrypt "" owner-secret 256 -- "$work/base.pdf" "$work/r6.pdf"
    u=$(grep -a -o '/U <[0-9a-f]*>' "$work/r6.pdf" | tr -d '/U <>')
    ue=$(grep -a -o '/UE <[0-9a-f]*>' "$work/r6.pdf" | tr -d '/UE <>')
    key=$(qpdf --show-encryption-key --show-encryption "$work/r6.pdf" | sed -n 's/^Encryption key = //p')
    echo "$u $ue $key"
done >r6-keys.txt
