# Edits in place where an input file is missing or cannot be renamed, in a scratch directory,
# and shows the messages, the exit statuses and the files left behind.
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp data/plus.rv "$dir/"
cd "$dir"
show() { for f in $(ls); do printf "%s: " "$f"; if [ -d "$f" ]; then echo "(directory)"; else cat -v "$f" | tr "\n" "|"; echo; fi; done; }
echo "-- missing at start-up: only printed, no backup"
"$1" -x plus.rv nosuch.txt 2>&1; echo "status $?"
show
echo "-- missing when gets moves on: the script fails"
printf 'a\n' > a.txt
"$1" -x plus.rv a.txt nosuch.txt 2>&1; echo "status $?"
show
echo "-- present but the backup name is taken by a directory"
rm a.txt.bak; mkdir b.txt.bak
printf 'b\n' > b.txt
"$1" -x plus.rv b.txt 2>&1; echo "status $?"
show
