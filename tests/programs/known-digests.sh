#!/usr/bin/env bash
# End to end: runs diagraw on the two fixed inputs and compares every output
# image with its known SHA-256 digest.
# usage: known-digests.sh DIAGRAW DIGEST_INPUT WORKDIR
set -eu
diagraw=$1 make_input=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

failed=0
check() {  # input output-suffix expected-digest
  local got
  got=$(sha256sum "$work/$1.raf$2" | cut -d' ' -f1)
  if [ "$got" = "$3" ]; then
    echo "ok   $1$2"
  else
    echo "FAIL $1$2: $got, expected $3"
    failed=1
  fi
}

for input in noise ramps; do
  "$make_input" "$input" "$work/$input.raf"
done
# The inputs themselves first: a wrong input would make every other line fail.
check noise "" 883afc69bd3d7a39573c9bc3e4511b2183b94e36fcd61e3494b11e10c14b554e
check ramps "" 2c3891115b958570b70b954f4e62bf111398fe005e1f989c1c442108d048f579

for input in noise ramps; do
  status=0
  "$diagraw" "$work/$input.raf" >/dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAIL $input: exit status $status"
    failed=1
  fi
done

check noise .f0.bmp 00ceef6ac3623c46d4c4f337a2132d2afb76a0701e196c71052518dbc8f13dbf
check noise .f1.bmp 67bfa93db6faa3ba263d55ebe6a923b7793e73ca492335da0c8ed3f64f73dedf
check noise .src.bmp 97beb4fb81be927a33bb6c1821de8fc996fad8ee5852f5c726f3307d8c4beb1f
check noise .bmp 0de952ed0ac9ec18eb4343571084e0aca4000a704ac19948d0b3204ca7e30656
check ramps .f0.bmp ddb61c2fb09b099449028bd6042ae605d9f8e2e5c47ec9c6849caad19d4486e5
check ramps .f1.bmp 9927e60a98aa32d6da94699fa0a0c6ae3c093ff254f18f2a7ecfc0cde92309da
check ramps .src.bmp e3b38558a5bbde46ca0843c78c858aa3dc3af720229a070d132c771208a31988
check ramps .bmp 8dd9e7eaacb1f77d38eaf100a5a0dce33cb478d0d97ab0fbec76863198bf5a5b
exit $failed
