#!/usr/bin/env bash
# Renders the demo's library report in headless Chromium (Debian's chromium, installed when
# missing) and checks what a reader would see: a screenshot at 1280 pixels, every plot of the page
# in the rendered document, no sideways scrolling at that width, and an A4 page when printed.
#   scripts/report-check.sh [BUILD_DIR] [SCREENSHOT.png]
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
shot=${2:-$root/demo-output/report.png}
page="$root/demo-output/report.html"

command -v chromium >/dev/null 2>&1 || "$root/scripts/install-packages.sh" chromium
"$root/scripts/demo.sh" "$build" >/dev/null
[ -s "$page" ] || { echo "report-check: the demo wrote no report at $page" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
browser() { chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$work/profile" "$@" 2>/dev/null; }
failed=0
fail() { echo "report-check: $*" >&2; failed=1; }

rm -f "$shot"
browser --window-size=1280,2400 --screenshot="$shot" "file://$page" >/dev/null
[ -s "$shot" ] && [ "$(head -c 4 "$shot" | tail -c 3)" = "PNG" ] || fail "no screenshot was produced"

dom=$(browser --dump-dom "file://$page")
for plot in insert-FR insert-RF junction-position mapq-concordant mapq-other mismatch-profile; do
    grep -q "<svg[^>]*data-plot=\"$plot\"" <<<"$dom" || fail "the rendered page has no \"$plot\" plot"
done
[ "$(grep -o '<rect class="bar"' <<<"$dom" | wc -l)" -gt 20 ] || fail "the rendered plots have almost no bars"

# The page inside a frame 1280 pixels wide reports its own scroll width.
cp "$page" "$work/report.html"
cat >"$work/frame.html" <<'HTML'
<!DOCTYPE html><html><head><title>pending</title></head><body style="margin:0">
<iframe id="f" src="report.html" style="width:1280px;height:900px;border:0"></iframe>
<script>document.getElementById('f').onload = function () {
  var d = this.contentDocument.documentElement;
  document.title = 'width ' + d.scrollWidth + ' of ' + d.clientWidth; };</script></body></html>
HTML
widths=$(browser --allow-file-access-from-files --virtual-time-budget=5000 --dump-dom "file://$work/frame.html" |
    sed -n 's/.*<title>width \([0-9]*\) of \([0-9]*\)<\/title>.*/\1 \2/p')
read -r scroll client <<<"${widths:-0 0}"
[ "$client" -gt 0 ] && [ "$scroll" -le "$client" ] || fail "at 1280 pixels the page scrolls sideways (${widths:-no measure})"

browser --print-to-pdf="$work/report.pdf" --no-pdf-header-footer "file://$page" >/dev/null
# A4 is 595 by 842 points.
grep -aqE "MediaBox \[0 0 59[45]\.[0-9]* 84[12]\." "$work/report.pdf" || fail "the printed page is not A4"

[ $failed -eq 0 ] && echo "report-check: $page renders (screenshot $shot), its plots are there, it fits 1280 pixels (scroll width $scroll of $client) and prints on A4"
exit $failed
