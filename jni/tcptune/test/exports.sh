#!/bin/sh
# Usage: exports.sh NM LIBRARY EXPECTED: compares the defined dynamic symbols
# of LIBRARY with the sorted list in EXPECTED.
export LC_ALL=C
nm=$1 lib=$2 expected=$3
# A SANITIZE build adds symbols of the sanitizers' own: ASan's __odr_asan.<name>
# beside exported variables, and (clang) the type information of function types
# that the function-pointer check compares. They are not the library's.
"$nm" -D --defined-only "$lib" | awk '{ print $NF }' |
  grep -Ev '^(__odr_asan\.|_ZT[IS]F)' | sort | diff -u "$expected" -
