#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file of the repository names its license in its first lines.
# Usage: check-spdx.sh [REPOSITORY]   (default: the one this script is in)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
missing=0
while IFS= read -r -d '' file; do
    case "$file" in
    *.cpp | *.h | *.sh | *.py | *.cmake | CMakeLists.txt | */CMakeLists.txt | Makefile | \
        *.ui | *.xml | *.desktop | *.1 | .ci/run) ;;
    *) continue ;;
    esac
    if ! head -n 3 "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
        echo "no SPDX line: $file"
        missing=1
    fi
done < <(git ls-files -z 2>/dev/null || find . -type f -not -path './.git/*' -print0)
[[ $missing -eq 0 ]] && echo "PASS: every source file carries its SPDX line"
exit $missing
