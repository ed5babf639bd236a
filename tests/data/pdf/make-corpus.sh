#!/usr/bin/env bash
# Rebuilds the PDF corpus in this folder from sources/ with the programs people really write PDFs
# with. Run by hand on Debian 12 as root (it installs what is missing); CI never runs it, the PDFs
# are committed. Each writer's output goes to its own folder; the check at the end asks pdftotext
# for a marker word on each page, so a writer that silently drops a font fails here, not in a test.
#   tests/data/pdf/make-corpus.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$here/sources

PACKAGES=(
    libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui
    fonts-liberation2 fonts-dejavu-core fonts-wqy-microhei
    chromium
    texlive-latex-base texlive-latex-recommended texlive-fonts-recommended texlive-lang-cyrillic
    texlive-xetex lmodern fonts-lmodern cm-super
    ghostscript groff enscript qpdf python3-cairo poppler-utils
)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# A fresh LibreOffice profile, so settings left by a desktop session cannot change the export.
lo() {
    local filter=$1 input=$2 output=$3
    soffice -env:UserInstallation="file://$work/lo-profile" --headless \
        --convert-to "$filter" --outdir "$work/lo-out" "$input" >/dev/null
    mv "$work/lo-out/$(basename "${input%.*}").pdf" "$output"
}

mkdir -p "$here"/{libreoffice,chromium,pdflatex,xelatex,ghostscript,groff,cairo,qpdf}

# LibreOffice: a text document, a spreadsheet and a presentation, then the text document again as
# PDF/A-2b and as a tagged PDF.
lo pdf "$src/writer.fodt" "$here/libreoffice/writer.pdf"
lo pdf "$src/calc.fods" "$here/libreoffice/calc.pdf"
lo pdf "$src/impress.fodp" "$here/libreoffice/impress.pdf"
lo 'pdf:writer_pdf_Export:{"SelectPdfVersion":{"type":"long","value":"2"}}' \
    "$src/writer.fodt" "$here/libreoffice/writer-pdfa2b.pdf"
lo 'pdf:writer_pdf_Export:{"UseTaggedPDF":{"type":"boolean","value":"true"},"ExportBookmarks":{"type":"boolean","value":"true"}}' \
    "$src/writer.fodt" "$here/libreoffice/writer-tagged.pdf"

# Chromium's print to PDF, without the header and footer that would stamp today's date and the path.
mkdir "$work/chromium-profile"
timeout 180 chromium --headless --no-sandbox --disable-gpu --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/chromium-profile" --no-pdf-header-footer \
    --print-to-pdf="$here/chromium/page.pdf" "file://$src/page.html" 2>/dev/null

# pdfTeX: T1 Latin Modern with a T2A Cyrillic page (cm-super), and plain OT1 Computer Modern whose
# accents are a separate glyph drawn over the letter. Two runs are not needed: no references.
export SOURCE_DATE_EPOCH=1700000000 FORCE_SOURCE_DATE=1
for t in t1-lmodern ot1-cm; do
    pdflatex -interaction=nonstopmode -halt-on-error "$src/$t.tex" >/dev/null
    cp "$t.pdf" "$here/pdflatex/$t.pdf"
done

# XeTeX: OpenType Latin Modern, DejaVu Serif for Cyrillic, WenQuanYi for Chinese.
xelatex -interaction=nonstopmode -halt-on-error "$src/fontspec.tex" >/dev/null
cp fontspec.pdf "$here/xelatex/fontspec.pdf"

# Ghostscript's pdfwrite (ps2pdf) from three PostScript writers: groff, enscript and dvips.
groff -k -ms -Tps "$src/notes.ms" >groff.ps
ps2pdf groff.ps "$here/ghostscript/groff-ps.pdf"
iconv -f UTF-8 -t LATIN1 "$src/barge-log.txt" |
    enscript -q -X latin1 --header='Dunmarrow log||Page $% of $=' -o enscript.ps
ps2pdf enscript.ps "$here/ghostscript/enscript.pdf"
latex -interaction=nonstopmode -halt-on-error "$src/dvips.tex" >/dev/null
dvips -q -o dvips.ps dvips.dvi
ps2pdf dvips.ps "$here/ghostscript/dvips.pdf"

# groff's own PDF output (gropdf), which leaves the standard Times fonts unembedded.
groff -k -ms -Tpdf "$src/notes.ms" >"$here/groff/gropdf.pdf"

# cairo: a page per script through pycairo, and poppler's cairo back end rewriting the pdfTeX file.
/usr/bin/python3 "$src/cairo-pages.py" "$here/cairo/pycairo.pdf"
pdftocairo -pdf "$here/pdflatex/t1-lmodern.pdf" "$here/cairo/pdftocairo.pdf"

# qpdf rewrites of the LibreOffice text document: object streams, linearized, and encrypted with
# an owner password only (so it opens with the empty user password) in each of the four schemes.
w=$here/libreoffice/writer.pdf
qpdf --object-streams=generate "$w" "$here/qpdf/writer-objstm.pdf"
qpdf --linearize "$w" "$here/qpdf/writer-linearized.pdf"
qpdf --allow-weak-crypto --encrypt "" ownerpw 40 -- "$w" "$here/qpdf/writer-rc4-40.pdf"
qpdf --allow-weak-crypto --encrypt "" ownerpw 128 --use-aes=n -- "$w" "$here/qpdf/writer-rc4-128.pdf"
qpdf --encrypt "" ownerpw 128 --use-aes=y -- "$w" "$here/qpdf/writer-aes-128.pdf"
qpdf --encrypt "" ownerpw 256 -- "$w" "$here/qpdf/writer-aes-256.pdf"

# Each file must give pdftotext its marker words on the page the source put them on.
failed=0
expect() {
    local file=$1 page=$2
    shift 2
    local text
    # NFC, because pdftotext gives an accent drawn over a letter (OT1) as letter + combining mark.
    text=$(pdftotext -enc UTF-8 -f "$page" -l "$page" "$here/$file" - |
        /usr/bin/python3 -c 'import sys, unicodedata; print(unicodedata.normalize("NFC", sys.stdin.read()))')
    for word in "$@"; do
        if ! grep -qF -- "$word" <<<"$text"; then
            echo "MISSING: $file page $page: $word" >&2
            failed=1
        fi
    done
}
for f in libreoffice/writer.pdf libreoffice/writer-pdfa2b.pdf libreoffice/writer-tagged.pdf qpdf/writer-objstm.pdf \
    qpdf/writer-linearized.pdf qpdf/writer-rc4-40.pdf qpdf/writer-rc4-128.pdf qpdf/writer-aes-128.pdf \
    qpdf/writer-aes-256.pdf; do
    expect "$f" 1 Quokkafern fluffy Bellwick
    expect "$f" 2 Brindlemoss Amélie Großstraße Łodzi gruszą
    expect "$f" 3 Вельдорск ёжик 图书馆 猫が Tarnwhistle
done
expect libreoffice/calc.pdf 1 Glimmerquartz "Crème brûlée" Größenmaß Żurawina
expect libreoffice/calc.pdf 2 Склад Зеркальник 茶叶 緑茶の缶
expect libreoffice/impress.pdf 1 Vorpaline lighthouse
expect libreoffice/impress.pdf 2 Ostrelund château Frühstück jezioro набережной
expect libreoffice/impress.pdf 3 Quillanthe 春天我们 パン屋
expect chromium/page.pdf 1 Marrowick "eighty-two" February
expect chromium/page.pdf 2 Ferndrake écureuils Übermorgen żółty
expect chromium/page.pdf 3 Лунобрег мельник 老画家 Gravelpip
expect pdflatex/t1-lmodern.pdf 1 Wimbleroot official affluent waffle
expect pdflatex/t1-lmodern.pdf 2 Plovercrest garçon Straße Gdańska Dvořák
expect pdflatex/t1-lmodern.pdf 3 Светлогорье Ёлка
expect pdflatex/t1-lmodern.pdf 4 snorvelhap
expect cairo/pdftocairo.pdf 1 Wimbleroot
expect cairo/pdftocairo.pdf 3 Светлогорье
expect cairo/pdftocairo.pdf 4 snorvelhap
expect pdflatex/ot1-cm.pdf 1 Hollowmere fluffy
expect pdflatex/ot1-cm.pdf 2 quibbleton Montréal François Bärbel
expect xelatex/fontspec.pdf 1 Tumbleshard Zürich Kraków fraîche
expect xelatex/fontspec.pdf 2 "Песчаный берег" Звездолов Ещё
expect xelatex/fontspec.pdf 3 Zenthorpe 山路
expect ghostscript/groff-ps.pdf 1 Pellwhistle Genève Bürgermeister
expect ghostscript/groff-ps.pdf 2 cobblewisp Peña Łukasz
expect groff/gropdf.pdf 1 Pellwhistle Genève Bürgermeister
expect groff/gropdf.pdf 2 cobblewisp Peña Łukasz
expect ghostscript/enscript.pdf 1 Dunmarrow crêpes façade
expect ghostscript/enscript.pdf 2 snickerbloom Ærøskøbing
expect ghostscript/dvips.pdf 1 Brackenvale saffron
expect ghostscript/dvips.pdf 2 Léonie Gruyère dumplingfrost
expect cairo/pycairo.pdf 1 Thistlegrove Besançon Żaneta
expect cairo/pycairo.pdf 2 Тиховодья Копперлинг
expect cairo/pycairo.pdf 3 时刻表 友だち Marbleskip
[ "$failed" -eq 0 ] || exit 1

du -ch "$here"/*/*.pdf | tail -1
