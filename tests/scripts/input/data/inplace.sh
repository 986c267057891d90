# Edits x.txt in place three times in a scratch directory and shows the files left behind.
set -e
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp data/plus.rv "$dir/"
cd "$dir"
printf 'one\ntwo\n' > x.txt
for i in 1 2 3; do "$1" -x plus.rv x.txt; done
for f in $(ls x.txt*); do printf "%s: " "$f"; cat -v "$f" | tr "\n" "|"; echo; done
