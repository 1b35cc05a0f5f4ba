#!/bin/sh
# Usage: exports.sh NM LIBRARY EXPECTED: compares the defined dynamic symbols
# of LIBRARY with the sorted list in EXPECTED.
export LC_ALL=C
nm=$1 lib=$2 expected=$3
"$nm" -D --defined-only "$lib" | awk '{ print $NF }' | sort | diff -u "$expected" -
