#!/usr/bin/env bash
# The shared library must export exactly the functions of the public API.
set -eu
lib=$1 map=$2
want=$(tr ' ;' '\n\n' < "$map" | grep -E '^[A-Z][A-Za-z]+$' | sort)
have=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TW]$/ {print $3}' | sed 's/@.*//' | sort)
if [ "$want" != "$have" ]; then
  echo "exports differ (< expected, > found):"
  diff <(echo "$want") <(echo "$have") || true
  exit 1
fi
extra=$(nm -D --defined-only "$lib" | awk '$2 !~ /^[TW]$/ && $3 !~ /^(_|LIBQVN)/ {print}' || true)
if [ -n "$extra" ]; then echo "unexpected data symbols: $extra"; exit 1; fi
readelf -d "$lib" | grep -q 'SONAME.*libqvn.so.1' || { echo "no SONAME libqvn.so.1"; exit 1; }
echo "exports OK: $(echo "$have" | wc -l) functions"
