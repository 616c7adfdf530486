# What the shell tests share: a scratch folder that goes when the test ends,
# and a count of failures, each named as it is found.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
echecs=0
echoue() {
    echo "FAIL: $*"
    echecs=$((echecs + 1))
}
