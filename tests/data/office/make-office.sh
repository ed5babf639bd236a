#!/usr/bin/env bash
# Rebuilds the office document corpus in this folder from sources/ with the programs people really
# write these files with: LibreOffice (from hand-written flat XML), python-docx and openpyxl. Run by
# hand on Debian 12 as root (it installs what is missing); CI never runs it, the files are
# committed. Reruns give the same text; the zip containers still differ (timestamps, and the ids
# LibreOffice gives slide-number fields), so commit only when a source changed.
# At the end it checks each marker word is in the part of the file the README says and nowhere
# else, and what LibreOffice shows for the numbers and dates, so a writer that moved or dropped
# something fails here rather than in a test.
#   tests/data/office/make-office.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$here/sources

PACKAGES=(libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui
          python3-docx python3-openpyxl unzip)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# The desktop LibreOffice packages conflict with the -nogui ones but convert the same way.
if command -v soffice >/dev/null; then
    missing=("${missing[@]/libreoffice-*-nogui/}")
fi
read -r -a missing <<<"${missing[*]:-}"
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# soffice writes a profile under HOME as well as the one named below: keep both out of the repo.
export HOME=$work/home
mkdir -p "$HOME"
# Debian's python3 by path: a python3 earlier on PATH (pyenv, a venv) would not see python3-docx.
PY=/usr/bin/python3

lo() {
    local filter=$1 input=$2 outdir=$3
    soffice -env:UserInstallation="file://$work/lo-profile" --headless \
        --convert-to "$filter" --outdir "$outdir" "$input" >/dev/null 2>&1
    [ -s "$outdir/$(basename "${input%.*}").${filter%%:*}" ]
}

# LibreOffice: each flat-XML source saved as its OpenDocument package and as the Office Open XML
# format a person picks in Save As (the "2007-365" filters).
lo odt "$src/writer.fodt" "$here"
lo 'docx:MS Word 2007 XML' "$src/writer.fodt" "$here"
lo ods "$src/calc.fods" "$here"
lo 'xlsx:Calc MS Excel 2007 XML' "$src/calc.fods" "$here"
lo odp "$src/impress.fodp" "$here"
lo 'pptx:Impress MS PowerPoint 2007 XML' "$src/impress.fodp" "$here"

"$PY" -B "$src/write-docx.py" "$here/python-docx.docx"
"$PY" -B "$src/write-xlsx.py" "$here/openpyxl.xlsx"

# --- Checks -----------------------------------------------------------------------------------
# Marker word, then every file/part it must be in (and no other part of any file). A part is
# searched as written (sheet names are attributes) and again with the markup taken out and soft
# hyphens dropped, so "Crumble<soft hyphen>ward" and a word split over runs still count.
expect=$(cat <<'EOF'
Grumbletoft writer.odt/content.xml writer.docx/word/document.xml
Vesperwhig writer.odt/content.xml writer.docx/word/document.xml
Tamberlosk writer.odt/content.xml writer.docx/word/document.xml
Cindervault writer.odt/content.xml writer.docx/word/document.xml
Plinkerdove writer.odt/content.xml writer.docx/word/document.xml
Mossgrendle writer.odt/content.xml writer.docx/word/document.xml
Brambleshod writer.odt/content.xml writer.docx/word/document.xml
Quintervale writer.odt/content.xml writer.docx/word/document.xml
Tindlewhorl writer.odt/content.xml writer.docx/word/document.xml
Gaspernook writer.odt/content.xml writer.docx/word/document.xml
Crumbleward writer.odt/content.xml writer.docx/word/document.xml
Quillendrax writer.odt/content.xml writer.docx/word/document.xml
Morvantide writer.odt/content.xml writer.docx/word/document.xml
Zimbleworth writer.odt/content.xml writer.docx/word/document.xml
Tarragonwick writer.odt/content.xml writer.docx/word/footnotes.xml
Skellimore writer.odt/content.xml writer.docx/word/endnotes.xml
Drovenhallow writer.odt/content.xml writer.docx/word/comments.xml
Hobbleswain writer.odt/styles.xml writer.docx/word/header1.xml
Fenwickbray writer.odt/styles.xml writer.docx/word/footer1.xml
Plumbergast calc.ods/content.xml calc.ods/settings.xml calc.xlsx/xl/workbook.xml
Wickerfold calc.ods/content.xml calc.ods/settings.xml calc.xlsx/xl/workbook.xml
Ostrovane calc.ods/content.xml calc.xlsx/xl/sharedStrings.xml
Pellucidor calc.ods/content.xml calc.xlsx/xl/sharedStrings.xml
Thimblecrag calc.ods/content.xml calc.xlsx/xl/sharedStrings.xml
Yarrowspit calc.ods/content.xml calc.xlsx/xl/sharedStrings.xml
Marrowdusk calc.ods/content.xml calc.xlsx/xl/comments1.xml
Brackenhusk calc.ods/styles.xml calc.xlsx/xl/worksheets/sheet1.xml calc.xlsx/xl/worksheets/sheet2.xml
Lantervelm calc.ods/styles.xml calc.xlsx/xl/worksheets/sheet1.xml calc.xlsx/xl/worksheets/sheet2.xml
Corvalinth impress.odp/content.xml impress.pptx/ppt/slides/slide1.xml
Snedgewick impress.odp/content.xml impress.pptx/ppt/slides/slide1.xml
Ambertrove impress.odp/content.xml impress.pptx/ppt/slides/slide2.xml
Halvorquin impress.odp/content.xml impress.pptx/ppt/slides/slide2.xml
Nimbletusk impress.odp/content.xml impress.pptx/ppt/slides/slide3.xml
Oxbrindle impress.odp/content.xml impress.pptx/ppt/slides/slide3.xml
Whistlegorse impress.odp/content.xml impress.pptx/ppt/notesSlides/notesSlide2.xml
Gloamerwick impress.odp/styles.xml impress.pptx/ppt/slideMasters/slideMaster1.xml
Mizzlecombe python-docx.docx/word/document.xml
Quibblemont python-docx.docx/word/document.xml
Sprocketfen python-docx.docx/word/document.xml
Turnipwhelm python-docx.docx/word/document.xml
Bodkinshaw python-docx.docx/word/document.xml
Larchmottle python-docx.docx/word/header1.xml
Dunstravel python-docx.docx/word/footer1.xml
Kettlebrisk openpyxl.xlsx/xl/workbook.xml
Woolgathry openpyxl.xlsx/xl/workbook.xml
Rumbleclove openpyxl.xlsx/xl/worksheets/sheet1.xml
Saffronmere openpyxl.xlsx/xl/worksheets/sheet1.xml
Cobblestave openpyxl.xlsx/xl/worksheets/sheet1.xml
Nettlegrove openpyxl.xlsx/xl/comments/comment1.xml
Peppershank openpyxl.xlsx/xl/worksheets/sheet2.xml
EOF
)

files=(writer.odt writer.docx calc.ods calc.xlsx impress.odp impress.pptx python-docx.docx openpyxl.xlsx)
mkdir "$work/x"
for f in "${files[@]}"; do
    size=$(stat -c %s "$here/$f")
    [ "$size" -lt 102400 ] || { echo "$f is $size bytes, over 100 KB" >&2; exit 1; }
    unzip -q "$here/$f" -d "$work/x/$f"
done
find "$work/x" -type f \( -name '*.xml' -o -name '*.rels' -o -name '*.vml' \) -print0 |
    while IFS= read -r -d '' p; do
        sed -e 's/<[^>]*>//g' -e 's/\xC2\xAD//g' "$p" >"$p.text"
        cat "$p.text" >>"$p" && rm "$p.text"
    done

fail=0
while read -r word want; do
    got=$(cd "$work/x" && { grep -rlF -- "$word" . || true; } | sed 's|^\./||' | sort | tr '\n' ' ')
    want=$(tr ' ' '\n' <<<"$want" | sort | tr '\n' ' ')
    if [ "$got" != "$want" ]; then
        echo "$word: expected in [ $want] but found in [ $got]" >&2
        fail=1
    fi
done <<<"$expect"

# The no-break space between the two words survives in both Writer outputs.
for p in writer.odt/content.xml writer.docx/word/document.xml; do
    grep -qF $'Tindlewhorl\xC2\xA0Gaspernook' "$work/x/$p" || { echo "$p: no-break space lost" >&2; fail=1; }
done
# openpyxl writes the formula with no result: the reader has nothing to show for it.
grep -qF '<f>B2*2</f><v></v>' <(unzip -p "$here/openpyxl.xlsx" xl/worksheets/sheet1.xml) ||
    { echo "openpyxl.xlsx: B4 is not a formula without a result" >&2; fail=1; }

# What LibreOffice shows for the numbers, dates and fields, as the README lists it. The csv filter
# options: comma, double quote, UTF-8, cells as shown, every sheet to its own file.
csv='csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1'
mkdir "$work/shown"
lo "txt:Text (encoded):UTF8,LF,," "$here/writer.odt" "$work/shown"
for f in calc.ods calc.xlsx openpyxl.xlsx; do
    mkdir "$work/shown/$f"
    soffice -env:UserInstallation="file://$work/lo-profile" --headless \
        --convert-to "$csv" --outdir "$work/shown/$f" "$here/$f" >/dev/null 2>&1
done
shown=$(cat <<'EOF'
writer.txt|Signed on August 21, 2012 by Zimbleworth.
calc.ods/calc-Plumbergast.csv|Weight,4711.5
calc.ods/calc-Plumbergast.csv|Price,"1,288.00"
calc.ods/calc-Plumbergast.csv|Sum,5999.5
calc.ods/calc-Plumbergast.csv|Bottled,2024-03-15
calc.ods/calc-Plumbergast.csv|Sold,"November 2, 2023"
calc.ods/calc-Plumbergast.csv|Sealed,TRUE
calc.xlsx/calc-Plumbergast.csv|Weight,4711.5
calc.xlsx/calc-Plumbergast.csv|Price,"1,288.00"
calc.xlsx/calc-Plumbergast.csv|Sum,5999.5
calc.xlsx/calc-Plumbergast.csv|Bottled,2024-03-15
calc.xlsx/calc-Plumbergast.csv|Sold,"November 2, 2023"
calc.xlsx/calc-Plumbergast.csv|Sealed,TRUE
openpyxl.xlsx/openpyxl-Kettlebrisk.csv|Weight,4711.5
openpyxl.xlsx/openpyxl-Kettlebrisk.csv|Crates,42
openpyxl.xlsx/openpyxl-Kettlebrisk.csv|Bottled,2024-03-15
EOF
)
while IFS='|' read -r file line; do
    grep -qxF -- "$line" "$work/shown/$file" 2>/dev/null ||
        { echo "$file: LibreOffice does not show: $line" >&2; fail=1; }
done <<<"$shown"

[ "$fail" -eq 0 ] || exit 1
total=0
for f in "${files[@]}"; do total=$((total + $(stat -c %s "$here/$f"))); done
echo "made ${#files[@]} files, $total bytes; every marker is where the README says"
