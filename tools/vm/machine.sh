# machine.sh - sourced by the tools in tools/vm once $machine names a machine
# (a folder here with its recipe.sh): loads the recipe and defines what the
# tools share.
#   setting NAME DEFAULT  the value of FERROTUNE_<MACHINE>_<NAME> (for example
#                         FERROTUNE_I386VM_CACHE), else DEFAULT
#   cache                 the machine's cache folder
#   log TEXT...           one line on standard error, "<machine>: TEXT"
vm_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ -z "${machine:-}" ] || [ ! -f "$vm_dir/$machine/recipe.sh" ]; then
    echo "$(basename "$0"): no machine \"${machine:-}\"; the machines are: $(cd "$vm_dir" && ls -d */ | grep -v guest | tr -d / | xargs)" >&2
    exit 2
fi
. "$vm_dir/$machine/recipe.sh"

setting() {
    local name=FERROTUNE_${machine^^}_$1
    echo "${!name:-$2}"
}

if [ "$(id -u)" -eq 0 ]; then
    cache=$(setting CACHE "/var/cache/ferrotune-$machine")
else
    cache=$(setting CACHE "${XDG_CACHE_HOME:-$HOME/.cache}/ferrotune-$machine")
fi

log() { echo "$machine: $*" >&2; }
