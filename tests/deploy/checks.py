"""The deploy tests' checks: each reported by its description as it is made,
and counted for the closing line."""
import sys

outcomes = []


def check(condition, what):
    print(("ok      " if condition else "FAILED  ") + what, flush=True)
    outcomes.append(bool(condition))


def finish():
    """Prints the closing count and exits, with failure when any check failed."""
    print(f"{outcomes.count(True)} passed, {outcomes.count(False)} failed")
    sys.exit(0 if all(outcomes) else 1)
