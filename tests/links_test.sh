#!/bin/sh
# Every relative link of the README and of docs/ names a file or folder that exists, relative
# to the page that holds it.
#   links_test.sh SOURCE-DIR
cd "$1" || exit 1
bad=0
for page in README.md docs/*.md npm/README.md; do
  dir=$(dirname "$page")
  for target in $(grep -o '](\([^)#]*\)[^)]*)' "$page" | sed 's/^](\([^)#]*\).*/\1/' | grep -v '^[a-z]*:'); do
    if [ ! -e "$dir/$target" ]; then
      echo "$page: no $target"
      bad=1
    fi
  done
done
[ $bad = 0 ] && echo "every relative link resolves"
exit $bad
