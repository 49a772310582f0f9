"""Builds diagraw._core with the project's own CMake, for pip and python -m build (see pyproject.toml).

The version is the project's, read from CMakeLists.txt, the one place it is written.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


def project_version():
    found = re.search(r"project\(diagraw VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text())
    if not found:
        sys.exit("setup.py: no 'project(diagraw VERSION ...)' in CMakeLists.txt")
    return found.group(1)


class CMakeBuild(build_ext):
    """Configures the project with CMake for this interpreter and builds the module's target alone."""

    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     f"-DPython3_EXECUTABLE={sys.executable}", "-DDIAGRAW_BUILD_TESTS=OFF",
                     "-DDIAGRAW_BUILD_BENCHMARKS=OFF", "-DDIAGRAW_INSTALL=OFF"]
        subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", str(build), "--target", "diagraw_python", "-j", jobs], check=True)
        built = sorted((build / "python" / "diagraw").glob("_core*.so"))
        if not built:
            sys.exit("setup.py: CMake built no diagraw._core (see 'Python module diagraw' in its output)")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(built[0], target)


setup(version=project_version(), ext_modules=[Extension("diagraw._core", sources=[])],
      cmdclass={"build_ext": CMakeBuild})
