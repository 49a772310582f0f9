#!/usr/bin/env bash
# Runs the Python module's tests against an installed package: the
# interpreter of a venv that holds it, and the programs of a build folder.
# The tests run from a scratch folder, with only tests/python on the path, so
# that nothing of the source or the build tree can stand in for the package.
#
# usage: run-installed.sh PYTHON BUILD_DIR
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 PYTHON BUILD_DIR" >&2; exit 2; }
python=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")  # not resolved: a venv's python is a link
build=$(realpath "$2")
tests=$(realpath "$(dirname "$0")")
work=$(mktemp -d)
chmod 755 "$work"  # a test runs a child as another user
trap 'rm -rf "$work"' EXIT
cd "$work"
where=$(env -u PYTHONPATH "$python" -c 'import diagraw; print(diagraw.__file__)')
root=$(realpath "$tests/../..")
case $where in
  "$root"/python/*|"$build"/python/*) echo "diagraw came from $where, not from the installed package"; exit 1 ;;
esac
echo "diagraw from $where"
env -u PYTHONPATH "$python" -c 'import diagraw, inspect
for name in diagraw.__all__:
    item = getattr(diagraw, name)
    if callable(item) and not isinstance(item, type):
        print(name, inspect.signature(item))'
cat >user.py <<'PY'
import diagraw
import diagraw.analysis
import numpy as np
import numpy.typing as npt


def mean_red(path: str) -> float:
    with diagraw.load(path, workers=1) as raw:
        rgb: npt.NDArray[np.uint8] = raw.demosaic()
        facts = raw.explain(2000, 1500)
        assert isinstance(facts, dict)
        failed = raw.save(path, errors="return")
        assert failed is None or not failed
        return float(rgb[..., 0].mean())


def gain_of(dark: tuple[str, str], flats: list[tuple[str, str]]) -> float:
    stack = diagraw.analysis.Stack("darks", area=(2000, 2000, 64, 64)).add(dark[0]).add(dark[1])
    assert stack.result(sigma=6.0)["defect_count"] >= 0
    gain = diagraw.analysis.ptc(dark, flats)["fields"][0]["colours"]["green"]["gain"]
    return float(gain)
PY
env -u PYTHONPATH MYPYPATH= "$python" -m mypy --strict --no-incremental user.py
export PYTHONPATH=$tests PYTHONDONTWRITEBYTECODE=1
export DIAGRAW_EXE=$build/diagraw DIAGRAW_PROBE_EXE=$build/diagraw-probe DIAGRAW_SYNTH_EXE=$build/diagraw-synth
export DIAGRAW_EXPORT_EXE=$build/diagraw-export DIAGRAW_TEST_WORK=$work/tests
# The sensor analysis is tested in the build (python-analysis, plain and
# under the sanitizers); here, that it imports and runs from the package.
"$build/diagraw-synth" "$work/smoke.raf" >/dev/null
"$python" -c 'import diagraw.analysis as a, sys; print("fields:", a.fields(sys.argv[1])["fields"][0]["colours"]["green"]["ev"])' \
  "$work/smoke.raf"
"$python" -m unittest discover -s "$tests" -p 'test_[!a]*.py'
