#!/usr/bin/env bash
# `make forecast`: publishes the demo release (tools/fleet/demo_offer.txt,
# its packages holding the test installer) and forecasts it for 100,000
# machines over 14 days (tools/fleet/demo_fleet.txt); the plots and tables
# land in build/forecast/.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
bin="$top/build/host/bin"
out="$top/build/forecast"
machines=${FORECAST_MACHINES:-100000}
days=${FORECAST_DAYS:-14}
rm -rf "$out"
mkdir -p "$out"
"$bin/korin-fleet" forecast --machines "$machines" --days "$days" --out "$out" \
    --offer "$top/tools/fleet/demo_offer.txt" --installer "$bin/korin-test-installer" \
    --fleet "$top/tools/fleet/demo_fleet.txt"
echo
cat "$out/summary.txt"
echo
echo "peak minute's requests (peak-mix.txt):"
cat "$out/peak-mix.txt"
echo
echo "plots: $out/requests.png $out/updated.png $out/notify.png"
