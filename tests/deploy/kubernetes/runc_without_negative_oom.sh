#!/bin/sh
# runc, with a negative oom_score_adj in a container's or an exec's process
# raised to 0 first. The kubelet asks for -998 for a pod's sandbox and -997
# for a Guaranteed pod; lowering the score needs CAP_SYS_RESOURCE, which a
# machine that runs this cluster inside a sandbox of its own may lack, and
# runc then fails the container. Scores of 0 and above are left as asked.
#
# Usage: as the runtime's binary, with runc's own arguments.
lower_to_zero() {
    [ -f "$1" ] && sed -i 's/"oomScoreAdj": *-[0-9]*/"oomScoreAdj":0/' "$1"
}
previous=""
for argument; do
    case $previous in
    --bundle | -b) lower_to_zero "$argument/config.json" ;;
    --process | -p) lower_to_zero "$argument" ;;
    esac
    case $argument in
    --bundle=*) lower_to_zero "${argument#--bundle=}/config.json" ;;
    --process=*) lower_to_zero "${argument#--process=}" ;;
    esac
    previous=$argument
done
exec runc "$@"
