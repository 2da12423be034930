#!/usr/bin/env bash
# Fails on any include that points up or sideways against the order of the source folders:
#   core         the ground: settings, file system, message boxes, logging, command line, units
#   link         the press's ports and line protocol                      (core)
#   session      the hardware session, procedures and autorun             (link, core)
#   data         traces, containers, session files, statistics, undo      (core)
#   chart        the chart and the legend's model and views               (data, core)
#   maintenance  the firmware image and the bootloader exchange           (session, link, core)
#   dialogs      the dialogs and wizards                                  (maintenance, chart, data, session, link, core)
#   app          the window, its commands and exports                     (everything above)
# A file may always include headers of its own folder. Prints every offending line, then the count.
# Usage: scripts/check_layers.sh [root]
set -euo pipefail

ROOT="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"

declare -A ALLOWED=(
    [core]=""
    [link]="core"
    [session]="link core"
    [data]="core"
    [chart]="data core"
    [maintenance]="session link core"
    [dialogs]="maintenance chart data session link core"
    [app]="dialogs maintenance chart data session link core"
)

violations=0
for folder in "${!ALLOWED[@]}"; do
    [ -d "$ROOT/$folder" ] || continue
    while IFS= read -r -d '' file; do
        while IFS= read -r line; do
            number="${line%%:*}"
            target="${line#*:}"
            target="${target#*\"}"
            target="${target%%/*}"
            [ "$target" = "$folder" ] && continue
            # Includes without a folder (a Qt header in quotes, a generated file) are not ours to judge.
            [ -n "${ALLOWED[$target]+set}" ] || continue
            case " ${ALLOWED[$folder]} " in
            *" $target "*) ;;
            *)
                echo "${file#"$ROOT"/}:$number: $folder/ may not include $target/: ${line#*:}"
                violations=$((violations + 1))
                ;;
            esac
        done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]*/' "$file" || true)
    done < <(find "$ROOT/$folder" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
done

# A relative path would step around the folder names the check reads.
while IFS= read -r line; do
    echo "$line: include by a relative path"
    violations=$((violations + 1))
done < <(cd "$ROOT" && grep -rn --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"\.\./' \
    "${!ALLOWED[@]}" 2>/dev/null || true)

if [ "$violations" -gt 0 ]; then
    echo "$violations include(s) against the layer order" >&2
    exit 1
fi
echo "Layer order holds."
