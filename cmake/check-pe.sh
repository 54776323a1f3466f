#!/bin/sh
# check-pe.sh OBJDUMP DLL PROCESSOR EXPORT...
# Checks a plug-in DLL: its machine, that it exports exactly the given
# undecorated names, and that it imports nothing but KERNEL32 and msvcrt.
objdump=$1 dll=$2 processor=$3
shift 3
dump=$("$objdump" -p "$dll") || exit 1
fail=0

case $processor in
  i686) want_format=pei-i386 ;;
  *) want_format=pei-x86-64 ;;
esac
"$objdump" -f "$dll" | grep -q "file format $want_format" || { echo "not $want_format: $dll"; fail=1; }

# Export names: the lines of the [Ordinal/Name Pointer] Table.
actual=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
         sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)
expected=$(printf '%s\n' "$@" | sort)
if [ "$actual" != "$expected" ]; then
  echo "exports differ: expected [$(echo $expected)] got [$(echo $actual)]"
  fail=1
fi

imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
for dll_name in $imports; do
  case $(echo "$dll_name" | tr 'A-Z' 'a-z') in
    kernel32.dll|msvcrt.dll) ;;
    *) echo "imports a non-system DLL: $dll_name"; fail=1 ;;
  esac
done
[ -n "$imports" ] || { echo "no import table found"; fail=1; }

[ $fail -eq 0 ] && echo "PE tables ok: exports [$(echo $expected)] imports [$(echo $imports)]"
exit $fail
